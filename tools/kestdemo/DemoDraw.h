// Small drawing helpers for the demo media: a floating-point RGB canvas, shaded fills and anti-aliased
// discs, rings and polygons (coverage sampled 4 x 4 per pixel), and the conversions to stored bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace demo {

struct Rgb {
    float r = 0, g = 0, b = 0;
};
Rgb Mix(Rgb a, Rgb b, float t);
// A colour from 0..255 components.
Rgb Rgb8(int r, int g, int b);

struct Point {
    float x, y;
};

class Canvas {
  public:
    Canvas(int width, int height, Rgb fill = {});
    int Width() const { return width_; }
    int Height() const { return height_; }
    Rgb& At(int x, int y) { return pixels_[size_t(y) * size_t(width_) + size_t(x)]; }
    const Rgb& At(int x, int y) const { return pixels_[size_t(y) * size_t(width_) + size_t(x)]; }

    // Sets every pixel to shade(x, y) at the pixel's centre.
    void Shade(const std::function<Rgb(float, float)>& shade);
    // Blends colour over the pixels of the box [x0, x1) x [y0, y1) by the share of samples inside.
    void Fill(const std::function<bool(float, float)>& inside, float x0, float y0, float x1, float y1,
              Rgb colour, float opacity = 1);
    // A copy of the part at (x, y) of the given size.
    Canvas Crop(int x, int y, int width, int height) const;
    // Each output pixel the mean of a factor x factor block.
    Canvas Shrink(int factor) const;

    // Rows top first of R, G, B bytes (for the JPEG encoder).
    std::vector<uint8_t> RgbBytes() const;
    // Rows top first of B, G, R bytes, each row padded to 4 bytes (a 24-bit "RIX " image).
    std::vector<uint8_t> BgrRows() const;

  private:
    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

// Shapes in the unit square of a view: (u, v) lands on (x + u * size, y + v * size).
struct View {
    float x = 0, y = 0, size = 1;
};
void Disc(Canvas& c, const View& v, float cx, float cy, float r, Rgb colour, float opacity = 1);
void Annulus(Canvas& c, const View& v, float cx, float cy, float r0, float r1, Rgb colour);
void Polygon(Canvas& c, const View& v, const std::vector<Point>& points, Rgb colour, float opacity = 1);
void Box(Canvas& c, const View& v, float x0, float y0, float x1, float y1, Rgb colour);
// A regular polygon (inner == 0) or a star (inner: the inner radius) of n points, the first straight up.
std::vector<Point> Star(float cx, float cy, float outer, float inner, int n, float turn = 0);

// Baseline JPEG of the canvas at the given quality; empty on failure.
std::string EncodeJpeg(const Canvas& c, int quality);

}  // namespace demo
