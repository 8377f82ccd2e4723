#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/init.h>

int main(int argc, char** argv) {
    gtk_init();
    Gtk::init_gtkmm_internals();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
