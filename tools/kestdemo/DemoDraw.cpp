#include "tools/kestdemo/DemoDraw.h"

#include <algorithm>
#include <cmath>

#include "tools/itemwriter/ItemWriter.h"

namespace demo {

namespace {

uint8_t Byte(float v) {
    return uint8_t(std::clamp(std::lround(v * 255.0f), 0L, 255L));
}

constexpr float kPi = 3.14159265f;

}  // namespace

Rgb Mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Rgb8(int r, int g, int b) {
    return {float(r) / 255.0f, float(g) / 255.0f, float(b) / 255.0f};
}

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(width), height_(height), pixels_(size_t(width) * size_t(height), fill) {}

void Canvas::Shade(const std::function<Rgb(float, float)>& shade) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            At(x, y) = shade(float(x) + 0.5f, float(y) + 0.5f);
        }
    }
}

void Canvas::Fill(const std::function<bool(float, float)>& inside, float x0, float y0, float x1, float y1,
                  Rgb colour, float opacity) {
    int left = std::max(0, int(std::floor(x0))), top = std::max(0, int(std::floor(y0)));
    int right = std::min(width_, int(std::ceil(x1))), bottom = std::min(height_, int(std::ceil(y1)));
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            int hits = 0;
            for (int s = 0; s < 16; ++s) {
                hits += inside(float(x) + (float(s % 4) + 0.5f) / 4, float(y) + (float(s / 4) + 0.5f) / 4);
            }
            if (hits > 0) {
                At(x, y) = Mix(At(x, y), colour, opacity * float(hits) / 16);
            }
        }
    }
}

Canvas Canvas::Crop(int x, int y, int width, int height) const {
    Canvas out(width, height);
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            out.At(i, j) = At(x + i, y + j);
        }
    }
    return out;
}

Canvas Canvas::Shrink(int factor) const {
    Canvas out(width_ / factor, height_ / factor);
    float n = float(factor * factor);
    for (int y = 0; y < out.height_; ++y) {
        for (int x = 0; x < out.width_; ++x) {
            Rgb sum;
            for (int j = 0; j < factor; ++j) {
                for (int i = 0; i < factor; ++i) {
                    const Rgb& p = At(x * factor + i, y * factor + j);
                    sum = {sum.r + p.r, sum.g + p.g, sum.b + p.b};
                }
            }
            out.At(x, y) = {sum.r / n, sum.g / n, sum.b / n};
        }
    }
    return out;
}

std::vector<uint8_t> Canvas::RgbBytes() const {
    std::vector<uint8_t> out;
    out.reserve(pixels_.size() * 3);
    for (const Rgb& p : pixels_) {
        out.insert(out.end(), {Byte(p.r), Byte(p.g), Byte(p.b)});
    }
    return out;
}

std::vector<uint8_t> Canvas::BgrRows() const {
    size_t stride = (size_t(width_) * 3 + 3) & ~size_t(3);
    std::vector<uint8_t> out(stride * size_t(height_), 0);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            uint8_t* p = &out[size_t(y) * stride + size_t(x) * 3];
            p[0] = Byte(At(x, y).b);
            p[1] = Byte(At(x, y).g);
            p[2] = Byte(At(x, y).r);
        }
    }
    return out;
}

void Disc(Canvas& c, const View& v, float cx, float cy, float r, Rgb colour, float opacity) {
    float x = v.x + cx * v.size, y = v.y + cy * v.size, rr = r * v.size;
    c.Fill([&](float px, float py) { return (px - x) * (px - x) + (py - y) * (py - y) < rr * rr; }, x - rr,
           y - rr, x + rr, y + rr, colour, opacity);
}

void Annulus(Canvas& c, const View& v, float cx, float cy, float r0, float r1, Rgb colour) {
    float x = v.x + cx * v.size, y = v.y + cy * v.size, a = r0 * v.size, b = r1 * v.size;
    c.Fill(
        [&](float px, float py) {
            float d = (px - x) * (px - x) + (py - y) * (py - y);
            return d >= a * a && d < b * b;
        },
        x - b, y - b, x + b, y + b, colour);
}

void Polygon(Canvas& c, const View& v, const std::vector<Point>& points, Rgb colour, float opacity) {
    std::vector<Point> p;
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
    for (const Point& q : points) {
        p.push_back({v.x + q.x * v.size, v.y + q.y * v.size});
        x0 = std::min(x0, p.back().x), y0 = std::min(y0, p.back().y);
        x1 = std::max(x1, p.back().x), y1 = std::max(y1, p.back().y);
    }
    // Even-odd crossing test.
    auto inside = [&](float x, float y) {
        bool in = false;
        for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
            if ((p[i].y > y) != (p[j].y > y) &&
                x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x) {
                in = !in;
            }
        }
        return in;
    };
    c.Fill(inside, x0, y0, x1, y1, colour, opacity);
}

void Box(Canvas& c, const View& v, float x0, float y0, float x1, float y1, Rgb colour) {
    Polygon(c, v, {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, colour);
}

std::vector<Point> Star(float cx, float cy, float outer, float inner, int n, float turn) {
    std::vector<Point> out;
    int steps = inner > 0 ? 2 * n : n;
    for (int i = 0; i < steps; ++i) {
        float r = inner > 0 && i % 2 ? inner : outer;
        float a = turn + 2 * kPi * float(i) / float(steps);
        out.push_back({cx + r * std::sin(a), cy - r * std::cos(a)});
    }
    return out;
}

std::string EncodeJpeg(const Canvas& c, int quality) {
    std::vector<uint8_t> rgb = c.RgbBytes();
    itemwriter::JpegOptions options;
    options.quality = quality;
    return itemwriter::WriteJpeg(c.Width(), c.Height(), 3, rgb.data(), options);
}

}  // namespace demo
