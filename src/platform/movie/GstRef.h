#pragma once

#include <gst/gst.h>
#include <utility>

// How each GStreamer type is referenced and released. GstObjects may come with a floating
// reference, which the handle sinks when it adopts one.
template <typename T> struct GstRefTraits;

template <typename T> struct GstObjectRefTraits {
    static void ref(T* p) { gst_object_ref(p); }
    static void unref(T* p) { gst_object_unref(p); }
    static void sink(T* p) {
        if (g_object_is_floating(p))
            gst_object_ref_sink(p);
    }
};

template <> struct GstRefTraits<GstElement> : GstObjectRefTraits<GstElement> {};
template <> struct GstRefTraits<GstBus> : GstObjectRefTraits<GstBus> {};
template <> struct GstRefTraits<GstPad> : GstObjectRefTraits<GstPad> {};

template <> struct GstRefTraits<GstSample> {
    static void ref(GstSample* p) { gst_sample_ref(p); }
    static void unref(GstSample* p) { gst_sample_unref(p); }
    static void sink(GstSample*) {}
};

template <> struct GstRefTraits<GstMessage> {
    static void ref(GstMessage* p) { gst_message_ref(p); }
    static void unref(GstMessage* p) { gst_message_unref(p); }
    static void sink(GstMessage*) {}
};

template <> struct GstRefTraits<GstCaps> {
    static void ref(GstCaps* p) { gst_caps_ref(p); }
    static void unref(GstCaps* p) { gst_caps_unref(p); }
    static void sink(GstCaps*) {}
};

// One owned reference to a GStreamer object, sample, message or caps.
template <typename T> class GstRef {
public:
    GstRef() = default;
    // Takes over the caller's reference (sinking a floating one).
    static GstRef adopt(T* pointer) {
        GstRef ref;
        ref.p = pointer;
        if (pointer)
            GstRefTraits<T>::sink(pointer);
        return ref;
    }
    // Adds a reference of its own.
    static GstRef share(T* pointer) {
        if (pointer)
            GstRefTraits<T>::ref(pointer);
        return adopt(pointer);
    }

    ~GstRef() { reset(); }
    GstRef(const GstRef& other) : p(other.p) {
        if (p)
            GstRefTraits<T>::ref(p);
    }
    GstRef(GstRef&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
    GstRef& operator=(GstRef other) noexcept {
        std::swap(p, other.p);
        return *this;
    }

    T* get() const { return p; }
    explicit operator bool() const { return p != nullptr; }
    // Hands the reference back to the caller.
    T* release() { return std::exchange(p, nullptr); }
    void reset() {
        if (T* old = std::exchange(p, nullptr))
            GstRefTraits<T>::unref(old);
    }

private:
    T* p = nullptr;
};
