#include "GuiSupport.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/init.h>

std::unique_ptr<Canvas> drawSnapshot(const Glib::RefPtr<Gtk::Snapshot>& snapshot, int width,
                                     int height) {
    auto canvas = std::make_unique<Canvas>(width, height);
    if (GskRenderNode* node =
            gtk_snapshot_free_to_node(GTK_SNAPSHOT(g_object_ref(snapshot->gobj())))) {
        gsk_render_node_draw(node, canvas->cr());
        gsk_render_node_unref(node);
    }
    return canvas;
}

int main(int argc, char** argv) {
    gtk_init();
    Gtk::init_gtkmm_internals();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
