#pragma once

#include <glib-object.h>
#include <utility>

// Owns one reference to a GObject of a C library that has no C++ binding (libsoup, GIO streams).
// Adopting takes over a reference the caller already holds; copying takes a new one.
template <typename T> class GObjectPtr {
public:
    GObjectPtr() = default;
    static GObjectPtr adopt(T* object) { return GObjectPtr(object); }
    static GObjectPtr retain(T* object) {
        if (object)
            g_object_ref(object);
        return GObjectPtr(object);
    }

    GObjectPtr(const GObjectPtr& other) : object(other.object) {
        if (object)
            g_object_ref(object);
    }
    GObjectPtr(GObjectPtr&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
    GObjectPtr& operator=(GObjectPtr other) noexcept {
        std::swap(object, other.object);
        return *this;
    }
    ~GObjectPtr() {
        if (object)
            g_object_unref(object);
    }

    T* get() const { return object; }
    explicit operator bool() const { return object != nullptr; }
    void reset() { GObjectPtr().swapWith(*this); }

private:
    explicit GObjectPtr(T* adopted) : object(adopted) {}
    void swapWith(GObjectPtr& other) { std::swap(object, other.object); }

    T* object = nullptr;
};
