#pragma once

#include <cairo.h>
#include <cmath>
#include <cstdint>
#include <ostream>

// One pixel of an ARGB32 image surface, un-premultiplied, each component 0 to 255.
struct Pixel {
    int red = 0;
    int green = 0;
    int blue = 0;
    int alpha = 0;

    bool near(double r, double g, double b, double a = 1.0, int tolerance = 2) const {
        auto close = [tolerance](int value, double expected) {
            return std::abs(value - static_cast<int>(std::lround(expected * 255))) <= tolerance;
        };
        return close(red, r) && close(green, g) && close(blue, b) && close(alpha, a);
    }
    bool isGray(double level) const { return near(level, level, level, 1.0, 1); }
    bool isClear() const { return alpha == 0; }
    bool operator==(const Pixel&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Pixel& p) {
    return out << "rgba(" << p.red << ", " << p.green << ", " << p.blue << ", " << p.alpha << ")";
}

inline Pixel pixelAt(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    const std::uint32_t argb = reinterpret_cast<const std::uint32_t*>(row)[x];
    Pixel p;
    p.alpha = static_cast<int>(argb >> 24);
    if (p.alpha == 0) {
        return p;
    }
    auto unpremultiply = [&p](std::uint32_t component) {
        return static_cast<int>(std::lround((component & 0xff) * 255.0 / p.alpha));
    };
    p.red = unpremultiply(argb >> 16);
    p.green = unpremultiply(argb >> 8);
    p.blue = unpremultiply(argb);
    return p;
}

// A transparent ARGB32 image and a context drawing into it.
class Canvas {
public:
    Canvas(int width, int height)
        : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
          context(cairo_create(surface)) {}
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas() {
        cairo_destroy(context);
        cairo_surface_destroy(surface);
    }

    cairo_t* cr() const { return context; }
    Pixel at(int x, int y) const { return pixelAt(surface, x, y); }

private:
    cairo_surface_t* surface;
    cairo_t* context;
};
