#include "tools/kestdemo/DemoMedia.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "media/MsfWriter.h"
#include "platform/Font.h"
#include "tools/itemwriter/ItemWriter.h"
#include "tools/kestdemo/DemoDraw.h"
#include "tools/kestdemo/PhotoAlbum.h"

namespace demo {

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kJpegQuality = 85;

using Scene = std::function<void(Canvas&, const View&)>;

struct Subject {
    const char* caption;
    Scene draw;
};

float Clamp01(float v) {
    return std::clamp(v, 0.0f, 1.0f);
}

std::vector<Point> HalfDisc(float cx, float cy, float r, bool top) {
    std::vector<Point> out;
    for (int i = 0; i <= 32; ++i) {
        float a = kPi * float(i) / 32;
        out.push_back({cx + r * std::cos(a), cy + (top ? -r : r) * std::sin(a)});
    }
    return out;
}

void Ellipse(Canvas& c, const View& v, float cx, float cy, float rx, float ry, Rgb colour) {
    float x = v.x + cx * v.size, y = v.y + cy * v.size, a = rx * v.size, b = ry * v.size;
    c.Fill(
        [&](float px, float py) { return (px - x) * (px - x) / (a * a) + (py - y) * (py - y) / (b * b) < 1; },
        x - a, y - b, x + a, y + b, colour);
}

// A soft vertical gradient over the whole canvas, the subject's backdrop.
void Backdrop(Canvas& c, Rgb top, Rgb bottom) {
    float h = float(c.Height());
    c.Shade([&](float, float y) { return Mix(top, bottom, y / h); });
}

// The lower part of the view (from v0 down) in one colour; the box spans the canvas's full width.
void Ground(Canvas& c, const View& v, float v0, Rgb colour) {
    float y = v.y + v0 * v.size;
    c.Fill([&](float, float py) { return py >= y; }, 0, y - 1, float(c.Width()), float(c.Height()), colour);
}

// Set 0: distinct shapes in distinct colours on a pale backdrop.
std::vector<Subject> Shapes() {
    auto shape = [](const char* caption, Rgb colour, std::function<void(Canvas&, const View&, Rgb)> draw) {
        return Subject{caption, [colour, draw](Canvas& c, const View& v) {
                           Backdrop(c, Rgb8(250, 248, 240), Rgb8(214, 220, 230));
                           draw(c, v, colour);
                       }};
    };
    auto poly = [](std::vector<Point> points) {
        return [points](Canvas& c, const View& v, Rgb k) { Polygon(c, v, points, k); };
    };
    return {
        shape("A red circle", Rgb8(220, 30, 30),
              [](Canvas& c, const View& v, Rgb k) { Disc(c, v, .5f, .5f, .38f, k); }),
        shape("An orange square", Rgb8(245, 140, 20),
              poly({{.16f, .16f}, {.84f, .16f}, {.84f, .84f}, {.16f, .84f}})),
        shape("A yellow triangle", Rgb8(240, 210, 0), poly(Star(.5f, .58f, .42f, 0, 3))),
        shape("A green diamond", Rgb8(30, 160, 60), poly(Star(.5f, .5f, .42f, 0, 4))),
        shape("A blue pentagon", Rgb8(30, 80, 220), poly(Star(.5f, .53f, .4f, 0, 5))),
        shape("A purple hexagon", Rgb8(130, 40, 170), poly(Star(.5f, .5f, .4f, 0, 6, kPi / 6))),
        shape("A pink star", Rgb8(245, 100, 170), poly(Star(.5f, .54f, .44f, .18f, 5))),
        shape("A teal octagon", Rgb8(0, 130, 130), poly(Star(.5f, .5f, .4f, 0, 8, kPi / 8))),
        shape("A navy cross", Rgb8(20, 30, 100),
              poly({{.38f, .12f},
                    {.62f, .12f},
                    {.62f, .38f},
                    {.88f, .38f},
                    {.88f, .62f},
                    {.62f, .62f},
                    {.62f, .88f},
                    {.38f, .88f},
                    {.38f, .62f},
                    {.12f, .62f},
                    {.12f, .38f},
                    {.38f, .38f}})),
        shape("A lime ring", Rgb8(140, 220, 20),
              [](Canvas& c, const View& v, Rgb k) { Annulus(c, v, .5f, .5f, .22f, .4f, k); }),
        shape("A gold crescent", Rgb8(220, 170, 30),
              [](Canvas& c, const View& v, Rgb k) {
                  float x = v.x + .5f * v.size, y = v.y + .5f * v.size, r = .38f * v.size;
                  c.Fill(
                      [&](float px, float py) {
                          float dx = px - x, dy = py - y, ex = px - x - r * .55f;
                          return dx * dx + dy * dy < r * r && ex * ex + dy * dy > r * r * .7f;
                      },
                      x - r, y - r, x + r, y + r, k);
              }),
        shape("A crimson heart", Rgb8(170, 10, 50),
              [](Canvas& c, const View& v, Rgb k) {
                  Disc(c, v, .33f, .38f, .19f, k);
                  Disc(c, v, .67f, .38f, .19f, k);
                  Polygon(c, v, {{.15f, .45f}, {.85f, .45f}, {.5f, .86f}}, k);
              }),
        shape(
            "A sky-blue arrow", Rgb8(70, 170, 240),
            poly({{.12f, .4f}, {.55f, .4f}, {.55f, .2f}, {.9f, .5f}, {.55f, .8f}, {.55f, .6f}, {.12f, .6f}})),
        shape("A violet six-point star", Rgb8(110, 70, 230), poly(Star(.5f, .5f, .44f, .24f, 6))),
        shape("A magenta half disc", Rgb8(220, 0, 200), poly(HalfDisc(.5f, .64f, .4f, true))),
        shape("A cyan trapezoid", Rgb8(0, 200, 220),
              poly({{.3f, .25f}, {.7f, .25f}, {.9f, .75f}, {.1f, .75f}})),
        shape("An olive parallelogram", Rgb8(120, 120, 20),
              poly({{.3f, .28f}, {.92f, .28f}, {.7f, .72f}, {.08f, .72f}})),
        shape("A coral chevron", Rgb8(250, 110, 90),
              poly({{.15f, .25f}, {.5f, .55f}, {.85f, .25f}, {.85f, .5f}, {.5f, .8f}, {.15f, .5f}})),
        shape("A maroon eight-point star", Rgb8(120, 20, 30), poly(Star(.5f, .5f, .44f, .2f, 8))),
        shape("Turquoise dots", Rgb8(40, 200, 170),
              [](Canvas& c, const View& v, Rgb k) {
                  for (const Point& p : Star(.5f, .5f, .3f, 0, 7)) {
                      Disc(c, v, p.x, p.y, .1f, k);
                  }
                  Disc(c, v, .5f, .5f, .1f, k);
              }),
    };
}

// Set 1: simple scenes, each with its own backdrop.
std::vector<Subject> Scenes() {
    const Rgb sky = Rgb8(120, 180, 240), skyLow = Rgb8(200, 230, 250), grass = Rgb8(70, 150, 60);
    const Rgb sea = Rgb8(30, 90, 170), white = Rgb8(250, 250, 250), night = Rgb8(15, 20, 60);
    return {
        {"Sun over the sea",
         [=](Canvas& c, const View& v) {
             Backdrop(c, Rgb8(250, 160, 60), Rgb8(250, 220, 150));
             Disc(c, v, .5f, .55f, .22f, Rgb8(255, 240, 80));
             Ground(c, v, .6f, sea);
         }},
        {"Moon and stars",
         [=](Canvas& c, const View& v) {
             Backdrop(c, night, Rgb8(40, 50, 110));
             Disc(c, v, .62f, .42f, .24f, Rgb8(250, 240, 190));
             Disc(c, v, .72f, .34f, .22f, night);
             for (Point p : {Point{.2f, .2f}, Point{.3f, .7f}, Point{.15f, .5f}, Point{.8f, .8f}}) {
                 Polygon(c, v, Star(p.x, p.y, .07f, .03f, 5), white);
             }
         }},
        {"A green tree",
         [=](Canvas& c, const View& v) {
             Backdrop(c, sky, skyLow);
             Ground(c, v, .8f, grass);
             Box(c, v, .44f, .5f, .56f, .85f, Rgb8(110, 70, 30));
             Disc(c, v, .5f, .4f, .3f, Rgb8(30, 130, 40));
         }},
        {"A little house",
         [=](Canvas& c, const View& v) {
             Backdrop(c, sky, skyLow);
             Ground(c, v, .82f, grass);
             Box(c, v, .22f, .45f, .78f, .85f, Rgb8(240, 220, 170));
             Polygon(c, v, {{.12f, .47f}, {.5f, .15f}, {.88f, .47f}}, Rgb8(190, 50, 40));
             Box(c, v, .44f, .62f, .58f, .85f, Rgb8(110, 70, 30));
         }},
        {"Snowy mountains",
         [=](Canvas& c, const View& v) {
             Backdrop(c, sky, skyLow);
             Polygon(c, v, {{-.1f, .9f}, {.35f, .25f}, {.8f, .9f}}, Rgb8(100, 100, 120));
             Polygon(c, v, {{.3f, .9f}, {.7f, .35f}, {1.1f, .9f}}, Rgb8(80, 80, 100));
             Polygon(c, v, {{.255f, .37f}, {.35f, .25f}, {.445f, .37f}}, white);
             Polygon(c, v, {{.62f, .46f}, {.7f, .35f}, {.78f, .46f}}, white);
             Ground(c, v, .88f, white);
         }},
        {"A sailboat",
         [=](Canvas& c, const View& v) {
             Backdrop(c, sky, skyLow);
             Ground(c, v, .72f, sea);
             Polygon(c, v, {{.2f, .7f}, {.8f, .7f}, {.7f, .82f}, {.3f, .82f}}, Rgb8(140, 60, 30));
             Polygon(c, v, {{.52f, .15f}, {.52f, .66f}, {.82f, .66f}}, white);
             Polygon(c, v, {{.48f, .25f}, {.48f, .66f}, {.25f, .66f}}, Rgb8(240, 80, 60));
         }},
        {"A goldfish",
         [=](Canvas& c, const View& v) {
             Backdrop(c, Rgb8(60, 150, 200), Rgb8(20, 70, 140));
             Polygon(c, v, {{.62f, .5f}, {.9f, .3f}, {.9f, .7f}}, Rgb8(250, 120, 20));
             Ellipse(c, v, .42f, .5f, .3f, .2f, Rgb8(250, 150, 30));
             Disc(c, v, .26f, .45f, .04f, Rgb8(10, 10, 10));
         }},
        {"A flower",
         [=](Canvas& c, const View& v) {
             Backdrop(c, Rgb8(200, 240, 200), Rgb8(120, 200, 120));
             for (const Point& p : Star(.5f, .5f, .22f, 0, 6)) {
                 Disc(c, v, p.x, p.y, .14f, Rgb8(250, 90, 150));
             }
             Disc(c, v, .5f, .5f, .13f, Rgb8(250, 210, 40));
         }},
        {"Rain from a cloud",
         [=](Canvas& c, const View& v) {
             Backdrop(c, Rgb8(170, 180, 195), Rgb8(220, 225, 230));
             for (float x : {.3f, .5f, .7f}) {
                 Disc(c, v, x, .35f, .17f, Rgb8(110, 115, 130));
             }
             for (float x : {.25f, .45f, .65f, .8f}) {
                 Polygon(c, v, {{x, .6f}, {x + .04f, .6f}, {x - .02f, .85f}, {x - .06f, .85f}},
                         Rgb8(30, 80, 220));
             }
         }},
        {"A red balloon",
         [=](Canvas& c, const View& v) {
             Backdrop(c, sky, skyLow);
             Box(c, v, .495f, .6f, .51f, .95f, Rgb8(60, 60, 60));
             Ellipse(c, v, .5f, .38f, .24f, .28f, Rgb8(230, 20, 30));
             Disc(c, v, .42f, .28f, .05f, Rgb8(250, 150, 150));
         }},
        {"A snowman",
         [=](Canvas& c, const View& v) {
             Backdrop(c, Rgb8(40, 70, 140), Rgb8(120, 150, 210));
             Ground(c, v, .85f, white);
             Disc(c, v, .5f, .7f, .2f, white);
             Disc(c, v, .5f, .38f, .14f, white);
             Polygon(c, v, {{.5f, .37f}, {.7f, .4f}, {.5f, .41f}}, Rgb8(250, 130, 20));
             Box(c, v, .38f, .12f, .62f, .26f, Rgb8(20, 20, 20));
         }},
        {"A spotted mushroom",
         [=](Canvas& c, const View& v) {
             Backdrop(c, Rgb8(180, 220, 160), Rgb8(90, 140, 70));
             Box(c, v, .4f, .5f, .6f, .85f, Rgb8(245, 235, 210));
             Polygon(c, v, HalfDisc(.5f, .55f, .38f, true), Rgb8(210, 30, 30));
             for (Point p : {Point{.35f, .42f}, Point{.55f, .3f}, Point{.68f, .45f}}) {
                 Disc(c, v, p.x, p.y, .05f, white);
             }
         }},
        {"A lighthouse",
         [=](Canvas& c, const View& v) {
             Backdrop(c, night, Rgb8(60, 60, 120));
             Polygon(c, v, {{.5f, .2f}, {1.2f, .05f}, {1.2f, .35f}}, Rgb8(250, 240, 150), .6f);
             Polygon(c, v, {{.4f, .3f}, {.6f, .3f}, {.66f, .9f}, {.34f, .9f}}, white);
             Box(c, v, .37f, .5f, .63f, .58f, Rgb8(210, 30, 30));
             Box(c, v, .35f, .7f, .65f, .78f, Rgb8(210, 30, 30));
             Disc(c, v, .5f, .24f, .07f, Rgb8(255, 240, 120));
         }},
        {"A rainbow",
         [=](Canvas& c, const View& v) {
             Backdrop(c, sky, skyLow);
             const Rgb bands[] = {Rgb8(230, 30, 30), Rgb8(250, 150, 20), Rgb8(250, 230, 30),
                                  Rgb8(40, 170, 50), Rgb8(40, 90, 220),  Rgb8(120, 50, 180)};
             for (int i = 0; i < 6; ++i) {
                 Annulus(c, v, .5f, .8f, .42f - .05f * float(i + 1), .42f - .05f * float(i), bands[i]);
             }
             Ground(c, v, .8f, grass);
         }},
        {"A cactus in the desert",
         [=](Canvas& c, const View& v) {
             Backdrop(c, Rgb8(250, 200, 120), Rgb8(250, 235, 190));
             Ground(c, v, .8f, Rgb8(220, 180, 100));
             const Rgb green = Rgb8(40, 130, 60);
             Box(c, v, .43f, .2f, .57f, .85f, green);
             Box(c, v, .25f, .35f, .34f, .55f, green);
             Box(c, v, .25f, .5f, .45f, .58f, green);
             Box(c, v, .66f, .28f, .75f, .5f, green);
             Box(c, v, .55f, .45f, .75f, .53f, green);
         }},
        {"A rocket",
         [=](Canvas& c, const View& v) {
             Backdrop(c, night, Rgb8(30, 30, 80));
             Polygon(c, v, {{.5f, .62f}, {.6f, .95f}, {.4f, .95f}}, Rgb8(250, 150, 30));
             Polygon(c, v, {{.28f, .75f}, {.4f, .5f}, {.6f, .5f}, {.72f, .75f}}, Rgb8(210, 30, 30));
             Polygon(c, v, {{.5f, .08f}, {.62f, .3f}, {.62f, .75f}, {.38f, .75f}, {.38f, .3f}},
                     Rgb8(230, 230, 235));
             Disc(c, v, .5f, .38f, .06f, Rgb8(60, 140, 220));
         }},
        {"An umbrella",
         [=](Canvas& c, const View& v) {
             Backdrop(c, Rgb8(160, 170, 190), Rgb8(210, 215, 225));
             Box(c, v, .485f, .45f, .515f, .82f, Rgb8(40, 40, 40));
             Annulus(c, v, .44f, .82f, .04f, .075f, Rgb8(40, 40, 40));
             Box(c, v, .35f, .72f, .52f, .82f, Rgb8(160, 170, 190));
             Polygon(c, v, HalfDisc(.5f, .48f, .38f, true), Rgb8(140, 30, 160));
         }},
        {"City lights at night",
         [=](Canvas& c, const View& v) {
             Backdrop(c, night, Rgb8(50, 30, 90));
             const float tops[] = {.4f, .25f, .5f, .32f, .45f};
             for (int i = 0; i < 5; ++i) {
                 float x = .05f + .18f * float(i);
                 Box(c, v, x, tops[i], x + .16f, 1.f, Rgb8(40, 40, 55));
                 for (float y = tops[i] + .06f; y < .9f; y += .1f) {
                     Box(c, v, x + .04f, y, x + .12f, y + .04f, Rgb8(250, 220, 100));
                 }
             }
         }},
        {"A ladybird",
         [=](Canvas& c, const View& v) {
             Backdrop(c, Rgb8(170, 220, 110), Rgb8(80, 160, 60));
             Disc(c, v, .5f, .26f, .14f, Rgb8(20, 20, 20));
             Disc(c, v, .5f, .56f, .3f, Rgb8(220, 20, 20));
             Box(c, v, .49f, .3f, .51f, .86f, Rgb8(20, 20, 20));
             for (Point p : {Point{.36f, .48f}, Point{.64f, .48f}, Point{.38f, .68f}, Point{.62f, .68f}}) {
                 Disc(c, v, p.x, p.y, .06f, Rgb8(20, 20, 20));
             }
         }},
        {"A cup of hot tea",
         [=](Canvas& c, const View& v) {
             Backdrop(c, Rgb8(240, 225, 200), Rgb8(190, 150, 110));
             Annulus(c, v, .7f, .6f, .06f, .12f, white);
             Polygon(c, v, {{.22f, .42f}, {.72f, .42f}, {.66f, .85f}, {.28f, .85f}}, white);
             Ellipse(c, v, .47f, .44f, .24f, .04f, Rgb8(150, 80, 30));
             for (float x : {.38f, .5f}) {
                 Polygon(c, v, {{x, .12f}, {x + .03f, .12f}, {x + .05f, .34f}, {x + .02f, .34f}},
                         Rgb8(200, 200, 200), .8f);
             }
         }},
    };
}

// A subject drawn in a centred square as large as the canvas's shorter side.
Canvas Photo(const Subject& s, int width, int height) {
    Canvas c(width, height);
    float side = float(std::min(width, height));
    s.draw(c, View{(float(width) - side) / 2, (float(height) - side) / 2, side});
    return c;
}

// A landscape of 800 x 600 in daylight (day) or at dusk; the mosaic sweeps from the one to the other.
Canvas Landscape(bool day) {
    Canvas c(800, 600);
    Rgb skyTop = day ? Rgb8(60, 130, 220) : Rgb8(40, 20, 80),
        skyLow = day ? Rgb8(190, 225, 250) : Rgb8(250, 130, 60);
    Rgb far = day ? Rgb8(100, 150, 110) : Rgb8(70, 40, 80), near = day ? Rgb8(60, 140, 60) : Rgb8(30, 20, 40);
    Rgb water = day ? Rgb8(40, 110, 180) : Rgb8(120, 60, 90);
    float sunX = day ? 600 : 250, sunY = day ? 120 : 330;
    c.Shade([&](float x, float y) {
        float farTop = 330 + 40 * std::sin(x / 90) + 20 * std::sin(x / 37 + 1);
        float nearTop = 420 + 30 * std::sin(x / 130 + 2) + 12 * std::sin(x / 45);
        if (y > 500 + 6 * std::sin(x / 60)) {
            float ripple = 0.05f * std::sin(y * 0.9f + std::sin(x / 40) * 3);
            return Mix(water, skyLow, Clamp01((y - 500) / 400 + ripple));
        }
        if (y > nearTop) {
            return Mix(near, Rgb8(20, 30, 20), Clamp01((y - nearTop) / 300));
        }
        if (y > farTop) {
            return Mix(far, near, Clamp01((y - farTop) / 200));
        }
        float d = std::hypot(x - sunX, y - sunY);
        Rgb s = Mix(skyTop, skyLow, Clamp01(y / 380));
        s = Mix(s, Rgb8(255, 240, 180), Clamp01(1 - d / 260) * 0.6f);
        return d < 45 ? Mix(s, Rgb8(255, 250, 210), Clamp01((45 - d) / 2)) : s;
    });
    if (!day) {
        for (int i = 0; i < 40; ++i) {  // a fixed scatter of stars
            float x = float((i * 193) % 797), y = float((i * 71) % 230);
            Disc(c, View{}, x, y, 1.2f, Rgb8(255, 255, 230), Clamp01(1 - y / 260));
        }
    }
    return c;
}

float Square(float v) {
    return v * v;
}

// A point turned by angle (radians) about (cx, cy).
Point Turn(Point p, float cx, float cy, float angle) {
    float s = std::sin(angle), c = std::cos(angle);
    return {cx + (p.x - cx) * c - (p.y - cy) * s, cy + (p.x - cx) * s + (p.y - cy) * c};
}

}  // namespace

// Frame k of the 80-frame loop, an evening sea: waves roll toward the viewer, the sun's glitter shimmers,
// a sailboat rocks and a gull circles. Every motion is a whole number of turns over the cycle, so frame 80
// equals frame 0.
Canvas LoopFrame(int k) {
    constexpr float kHorizon = 128, kSunX = 168, kSunY = 92;
    Canvas c(250, 220);
    float t = 2 * kPi * float(k) / 80;
    c.Shade([&](float x, float y) {
        if (y < kHorizon) {
            Rgb sky = Mix(Rgb8(60, 80, 160), Rgb8(255, 190, 140), Square(y / kHorizon));
            float d = std::hypot(x - kSunX, y - kSunY);
            sky = Mix(sky, Rgb8(255, 225, 170), 0.55f * Clamp01(1 - d / 110));
            // Two thin bands of cloud lit from below.
            float cloud = Clamp01(1 - std::abs(y - 40 - 6 * std::sin(x / 41)) / 5) * Clamp01(1 - x / 190) +
                          Clamp01(1 - std::abs(y - 70 - 4 * std::sin(x / 29 + 2)) / 3.5f) * Clamp01(x / 250);
            sky = Mix(sky, Rgb8(255, 200, 190), 0.6f * cloud);
            return d < 24 ? Mix(sky, Rgb8(255, 245, 200), Clamp01(24 - d)) : sky;
        }
        // Distance shrinks the waves toward the horizon; they travel two wavelengths per cycle.
        float near = (y - kHorizon) / (220 - kHorizon);
        float phase = 60 * std::log(1 + 3 * near) - 2 * t + 0.7f * std::sin(x / (14 + 40 * near) + t);
        float wave = std::sin(phase);
        Rgb sea = Mix(Rgb8(110, 90, 140), Rgb8(20, 45, 95), std::sqrt(near));
        sea = Mix(sea, Rgb8(150, 130, 170), 0.25f * (0.5f + 0.5f * wave));
        float glitter = std::exp(-Square((x - kSunX) / (8 + 50 * near))) *
                        std::pow(Clamp01(std::sin(2 * phase + x / 5 + t)), 6.0f);
        return Mix(sea, Rgb8(255, 235, 180), glitter);
    });
    // The boat rocks and bobs once per cycle.
    View v;
    float bx = 70, by = 166 + 2.5f * std::sin(t), tilt = 0.07f * std::sin(t + 1);
    auto hull = [&](std::vector<Point> points, Rgb colour) {
        for (Point& p : points) {
            p = Turn({bx + p.x, by + p.y}, bx, by, tilt);
        }
        Polygon(c, v, points, colour);
    };
    hull({{-28, 0}, {28, 0}, {20, 10}, {-20, 10}}, Rgb8(70, 40, 45));
    hull({{-1, -52}, {1, -52}, {1, 0}, {-1, 0}}, Rgb8(60, 40, 40));
    hull({{3, -50}, {3, -3}, {26, -3}}, Rgb8(255, 236, 215));
    hull({{-3, -42}, {-3, -3}, {-22, -3}}, Rgb8(235, 120, 90));
    // The gull circles once and beats its wings four times per cycle.
    float gx = 150 + 45 * std::cos(t), gy = 50 + 14 * std::sin(t), beat = 5 * std::sin(4 * t);
    Polygon(c, v,
            {{gx - 11, gy - beat},
             {gx - 5, gy - 2 - beat / 2},
             {gx, gy},
             {gx + 5, gy - 2 - beat / 2},
             {gx + 11, gy - beat},
             {gx + 5, gy + 1 - beat / 2},
             {gx, gy + 2.5f},
             {gx - 5, gy + 1 - beat / 2}},
            Rgb8(40, 30, 50));
    return c;
}

namespace {

// The distance of a pixel centre from the middle of a size x size square, 1 at the middle of its sides.
float RingRadius(int size, float x, float y) {
    float centre = float(size) / 2;
    return std::hypot(x - centre, y - centre) / centre;
}

// The resting look: a soft blue-grey dimple, close to the middle tones of the landscape under it so
// that it hardly shows, with a small glint in its middle.
Rgb RingRest(float r) {
    return Mix(Rgb8(125, 145, 175), Rgb8(255, 255, 255), std::exp(-Square(r / 0.18f)));
}

}  // namespace

std::vector<uint8_t> RingAlpha(int size) {
    std::vector<uint8_t> out;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float r = RingRadius(size, float(x) + 0.5f, float(y) + 0.5f);
            // Some at the glint, strongest on the band the ripple crosses, nothing at the rim.
            float glint = 0.3f * std::exp(-Square(r / 0.18f));
            float band = 0.1f + 0.42f * std::exp(-Square((r - 0.6f) / 0.32f));
            float rim = Clamp01((1 - r) / 0.3f);
            out.push_back(uint8_t(std::lround(63 * Clamp01(glint + band) * rim * rim)));
        }
    }
    return out;
}

Canvas RingFrame(int size, int k, int n) {
    Canvas c(size, size);
    float p = n > 1 ? float(k) / float(n - 1) : 0;
    // The ripple swells from the middle and dies away as it reaches the rim, so the last frame is at rest.
    float strength = std::pow(std::max(0.0f, std::sin(kPi * p)), 0.6f), crest = 0.08f + 0.9f * p;
    float width = std::max(0.15f, 2.4f / float(size));
    auto wave = [&](float r, float at) { return std::exp(-Square((r - at) / width)); };
    c.Shade([&](float x, float y) {
        float r = RingRadius(size, x, y);
        // A bright crest with a shadowed trough inside it and a fainter second crest behind.
        float lit = strength * (wave(r, crest) + 0.45f * wave(r, crest - 0.4f));
        float shade = strength * Clamp01(crest / (3 * width)) * wave(r, crest - 0.2f);
        Rgb colour = Mix(RingRest(r), Rgb8(70, 110, 170), 0.5f * shade);
        return Mix(colour, Rgb8(255, 255, 250), Clamp01(lit));
    });
    return c;
}

namespace {

// A soft round alpha plane (0..63) of size x size: opaque inside, falling to 0 over the last edge pixels.
std::vector<uint8_t> RoundAlpha(int size, float edge) {
    std::vector<uint8_t> out;
    float centre = float(size) / 2, radius = centre - 0.5f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float d = std::hypot(float(x) + 0.5f - centre, float(y) + 0.5f - centre);
            out.push_back(uint8_t(std::lround(63 * Clamp01((radius - d) / edge + 0.5f))));
        }
    }
    return out;
}

// The glossy bubble: a shaded sphere with a bright rim and a highlight.
Rgb BubblePixel(float x, float y) {
    float dx = (x - 30) / 28, dy = (y - 30) / 28, d = std::hypot(dx, dy);
    Rgb body = Mix(Rgb8(120, 190, 250), Rgb8(30, 70, 170), Clamp01(d * d));
    body = Mix(body, Rgb8(220, 245, 255), Clamp01((d - 0.8f) * 4) * 0.7f);
    float h = std::hypot(dx + 0.35f, dy + 0.4f);
    return Mix(body, Rgb8(255, 255, 255), Clamp01(1 - h / 0.3f));
}

// Pop frame k (1..10) after the whole bubble: the sphere pales as droplets and a bright ring fly outward.
Canvas PopFrame(int k) {
    Canvas c(60, 60);
    float t = float(k) / 10;
    c.Shade([&](float x, float y) { return Mix(BubblePixel(x, y), Rgb8(225, 240, 250), t); });
    View v;
    Annulus(c, v, 30, 30, 26 * t, 26 * t + 3 * (1 - t) + 0.5f, Rgb8(255, 255, 255));
    for (const Point& p : Star(30, 30, 6 + 22 * t, 0, 8, t)) {
        Disc(c, v, p.x, p.y, 3.5f * (1 - t) + 0.5f, Rgb8(90, 160, 240), 1 - t * 0.8f);
    }
    return c;
}

itemwriter::RawImage Raw(const Canvas& c) {
    itemwriter::RawImage image;
    image.width = int16_t(c.Width());
    image.height = int16_t(c.Height());
    image.pixels = c.BgrRows();
    return image;
}

std::string Rix(const Canvas& c) {
    return itemwriter::WriteRix({Raw(c)});
}

// Coverage (0..255) to alpha (0..63).
std::vector<uint8_t> CoverageToAlpha(const std::vector<uint8_t>& coverage) {
    std::vector<uint8_t> out;
    for (uint8_t v : coverage) {
        out.push_back(uint8_t((v * 63 + 127) / 255));
    }
    return out;
}

// The caption font: every byte's glyph clipped to its own advance, side by side in code order, in a strip
// as tall as the line.
bool FontItems(std::vector<Item>& items, std::string& error) {
    std::unique_ptr<platform::FontFace> face = platform::OpenFontFace("DejaVu Sans", kCaptionFontSize, 0);
    if (!face) {
        error = "cannot open the caption font (DejaVu Sans)";
        return false;
    }
    const platform::FontMetrics& m = face->GetMetrics();
    uint8_t widths[256];
    int32_t stripWidth = 0;
    for (int b = 0; b < 256; ++b) {
        widths[b] = uint8_t(std::min(255, face->Advance(uint8_t(b))));
        stripWidth += widths[b];
    }
    int32_t height = m.ascent + m.descent;
    std::vector<uint8_t> plane(size_t(stripWidth) * size_t(height), 0);
    for (int b = 0, x = 0; b < 256; x += widths[b++]) {
        uint8_t byte = uint8_t(b);
        if (widths[b] > 0) {
            face->RenderText(&byte, 1, 0, m.ascent, &plane[size_t(x)], widths[b], height, stripWidth);
        }
    }
    items.push_back({2500, "RAX ", "capfont",
                     itemwriter::WriteRax(int16_t(stripWidth), int16_t(height), CoverageToAlpha(plane))});
    items.push_back({2500, "FONT", "capfont",
                     itemwriter::WriteFont(int16_t(m.ascent), int16_t(m.descent), widths, "DejaVu Sans", 0)});
    return true;
}

// A logo: a name in white on a band of two colours.
bool Logo(const char* name, Rgb left, Rgb right, std::string& out, std::string& error) {
    std::unique_ptr<platform::FontFace> face = platform::OpenFontFace("DejaVu Sans", 16, platform::kFontBold);
    if (!face) {
        error = "cannot open the logo font (DejaVu Sans Bold)";
        return false;
    }
    Canvas c(160, 22);
    c.Shade([&](float x, float) { return Mix(left, right, x / 160); });
    std::vector<uint8_t> plane(160 * 22, 0);
    auto bytes = reinterpret_cast<const uint8_t*>(name);
    int32_t count = int32_t(std::char_traits<char>::length(name));
    face->RenderText(bytes, count, (160 - face->MeasureText(bytes, count)) / 2, 16, plane.data(), 160, 22,
                     160);
    for (int y = 0; y < 22; ++y) {
        for (int x = 0; x < 160; ++x) {
            c.At(x, y) =
                Mix(c.At(x, y), Rgb8(255, 255, 255), float(plane[size_t(y) * 160 + size_t(x)]) / 255);
        }
    }
    out = EncodeJpeg(c, kJpegQuality);
    return true;
}

struct RingKind {
    uint16_t alphaId;
    int size;
    int frames;
};
constexpr RingKind kRings[] = {{1500, 9, 37},  {1600, 15, 37}, {1700, 24, 37},
                               {1800, 37, 18}, {1900, 56, 13}, {2000, 52, 37}};

}  // namespace

ShowPictures DemoPictures() {
    ShowPictures pictures{Landscape(true), Landscape(false), {}};
    const std::vector<Subject> sets[2] = {Shapes(), Scenes()};
    for (int s = 0; s < 2; ++s) {
        for (const Subject& subject : sets[s]) {
            pictures.sets[s].push_back({Photo(subject, 252, 224), Photo(subject, 60, 60), subject.caption});
        }
    }
    return pictures;
}

bool RenderItems(std::vector<Item>& items, std::string& error) {
    return RenderItems(DemoPictures(), items, error);
}

bool RenderItems(const ShowPictures& pictures, std::vector<Item>& items, std::string& error) {
    items.clear();
    items.push_back({1000, "JPEG", "backgrnd", EncodeJpeg(pictures.background, kJpegQuality)});

    // Sets 0 and 1: feature photographs, bubble photographs of the same subjects, captions.
    const uint16_t featureBase[2] = {1003, 1243}, bubbleBase[2] = {1103, 1363}, captionBase[2] = {2400, 2300};
    for (int s = 0; s < 2; ++s) {
        for (size_t i = 0; i < pictures.sets[s].size(); ++i) {
            const SetPhoto& photo = pictures.sets[s][i];
            uint16_t n = uint16_t(i);
            items.push_back(
                {uint16_t(featureBase[s] + n), "JPEG", "feature", EncodeJpeg(photo.feature, kJpegQuality)});
            items.push_back(
                {uint16_t(bubbleBase[s] + n), "JPEG", "bubphoto", EncodeJpeg(photo.bubble, kJpegQuality)});
            items.push_back({uint16_t(captionBase[s] + n), "TEXT", "caption", photo.caption + '\0'});
        }
    }
    for (int k = 0; k < 80; ++k) {
        items.push_back({uint16_t(1400 + k), "JPEG", "loop", EncodeJpeg(LoopFrame(k), kJpegQuality)});
    }
    for (const RingKind& ring : kRings) {
        items.push_back({ring.alphaId, "RAX ", "ringmask",
                         itemwriter::WriteRax(int16_t(ring.size), int16_t(ring.size), RingAlpha(ring.size))});
        for (int k = 0; k < ring.frames; ++k) {
            items.push_back(
                {uint16_t(ring.alphaId + 1 + k), "RIX ", "ring", Rix(RingFrame(ring.size, k, ring.frames))});
        }
    }
    items.push_back({2100, "RAX ", "bubmask", itemwriter::WriteRax(60, 60, RoundAlpha(60, 3))});
    Canvas bubble(60, 60);
    bubble.Shade(BubblePixel);
    items.push_back({2101, "RIX ", "bubble", Rix(bubble)});
    for (int k = 1; k <= 10; ++k) {
        items.push_back({uint16_t(2101 + k), "RIX ", "pop", Rix(PopFrame(k))});
    }
    if (!FontItems(items, error)) {
        return false;
    }
    items.push_back({2600, "JPEG", "preview", EncodeJpeg(pictures.background.Shrink(4), kJpegQuality)});
    // The mosaic: 100 x 100 pieces of its picture; rows 0 and 1 have no tiles in columns 5 to 7.
    for (int r = 0; r < 6; ++r) {
        for (int col = 0; col < 8; ++col) {
            if (r < 2 && col >= 5) {
                continue;
            }
            items.push_back({uint16_t(2700 + 8 * r + col), "JPEG", "tile",
                             EncodeJpeg(pictures.mosaic.Crop(100 * col, 100 * r, 100, 100), kJpegQuality)});
        }
    }
    std::string logo;
    if (!Logo(pictures.logos[0], Rgb8(200, 40, 60), Rgb8(240, 150, 30), logo, error)) {
        return false;
    }
    items.push_back({2800, "JPEG", "logo", logo});
    if (!Logo(pictures.logos[1], Rgb8(30, 90, 180), Rgb8(40, 170, 140), logo, error)) {
        return false;
    }
    items.push_back({2900, "JPEG", "logo", logo});
    size_t first = 0, second = 0;
    if (!msf::SortById(items, first, second)) {
        error = "item " + std::to_string(items[second].id) + " of type \"" + items[second].type +
                "\" is rendered twice";
        return false;
    }
    return true;
}

bool CheckOutputFolder(const std::string& path, std::string& error) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        error = "cannot write " + path + ": " + folder.string() + " is not a folder";
        return false;
    }
    return true;
}

bool WriteContainer(const std::string& path, std::string& error) {
    return CheckOutputFolder(path, error) && WriteContainer(DemoPictures(), path, error);
}

bool WriteContainer(const ShowPictures& pictures, const std::string& path, std::string& error) {
    std::vector<Item> items;
    if (!RenderItems(pictures, items, error)) {
        return false;
    }
    std::vector<uint8_t> container;
    if (msf::WriteContainer(items, container) != msf::WriteResult::kOk) {
        error = "the rendered items do not fit in a container";
        return false;
    }
    std::error_code ec;
    // Written beside path and renamed into place, so a failed run never leaves a partial container for the
    // build to take as fresh.
    std::string temporary = path + ".kestdemo-tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(container.data()), std::streamsize(container.size()));
    out.close();
    if (out) {
        std::filesystem::rename(temporary, path, ec);
    }
    if (!out || ec) {
        std::filesystem::remove(temporary, ec);
        error = "cannot write " + path;
        return false;
    }
    return true;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    static const char kUsage[] =
        "usage: kestdemo -o OUT.MSF\n"
        "       kestdemo --photos DIR [--captions FILE] -o OUT.MSF\n"
        "Renders the demo media and writes them as a media container.\n"
        "With --photos, the show's photographs come from the JPEG, PNG, GIF, BMP, Photoshop and Targa\n"
        "files in DIR (by content, Targa by its .tga extension; in name order, not recursive, hidden files\n"
        "skipped; other files are named and skipped):\n"
        "  the first 20 readable ones make set 0 and the next 20 set 1, repeated in order when there are\n"
        "  fewer than 40; the 41st becomes the background (and its preview) and the 42nd the mosaic\n"
        "  picture, and when there are fewer, the first and second serve again. Photos are turned upright\n"
        "  by their EXIF orientation and cropped to fill, never stretched; PNG transparency shows black.\n"
        "  An animated GIF gives its first frame, a Photoshop document its merged image.\n"
        "  Everything else (animation, ripples, bubble, font) is the demo's.\n"
        "  --captions FILE  lines \"file name<TAB>caption\" in UTF-8 ('#' starts a comment line).\n"
        "  A photo without one is captioned by its EXIF description, else by its file name.\n";
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kUsage;
        return 0;
    }
    album::Options options;
    bool ok = true;
    for (size_t i = 0; ok && i < args.size(); i += 2) {
        std::string* value = args[i] == "-o"           ? &options.output
                             : args[i] == "--photos"   ? &options.folder
                             : args[i] == "--captions" ? &options.captionsFile
                                                       : nullptr;
        ok = value != nullptr && value->empty() && i + 1 < args.size() && !args[i + 1].empty();
        if (ok) {
            *value = args[i + 1];
        }
    }
    if (!ok || options.output.empty() || (options.folder.empty() && !options.captionsFile.empty())) {
        err << "kestdemo: expected -o OUT.MSF or --photos DIR [--captions FILE] -o OUT.MSF (see --help)\n";
        return 1;
    }
    if (!options.folder.empty()) {
        options.terminal = errIsTerminal;
        return album::Run(options, err);
    }
    std::string error;
    if (!WriteContainer(options.output, error)) {
        err << "kestdemo: " << error << "\n";
        return 1;
    }
    return 0;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return Run(args, out, err, false);
}

}  // namespace demo
