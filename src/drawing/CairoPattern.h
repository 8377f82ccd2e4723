#pragma once

#include <cairo.h>

// Owns one reference to a cairo pattern and drops it when destroyed.
class CairoPattern {
public:
    // Takes over the reference the caller holds (as returned by cairo_pattern_create_*).
    explicit CairoPattern(cairo_pattern_t* pattern) : pattern(pattern) {}
    CairoPattern(const CairoPattern&) = delete;
    CairoPattern& operator=(const CairoPattern&) = delete;
    ~CairoPattern() { cairo_pattern_destroy(pattern); }

    cairo_pattern_t* get() const { return pattern; }

private:
    cairo_pattern_t* pattern;
};
