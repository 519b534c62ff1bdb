// The two space worms: heads, body segments and tail ends for each heading.
//
// Sheet layout (33-pixel cells, 32 x 32 pictures), row 33h for heading h
// (0 up, 1 right, 2 down, 3 left): head frames 0..2 from x 0, the body from
// x 165, tail-end frames 0..3 from x 198 (normal, charge held, boosting,
// braking).
//
// Every part is drawn in the worm's own frame (u forward, v to the right) and
// lit in screen space, so the light stays at the upper left whichever way the
// worm crawls. The body is constant across its length apart from a waist at
// both ends, so neighbouring segments join and a stretched segment still
// reads as worm.
#include <cmath>

#include "PlayPaint.h"

namespace play {
namespace {

constexpr int kCell = 33;
constexpr int kPic = 32;
constexpr int kHeadX = 0;
constexpr int kBodyX = 165;
constexpr int kTailX = 198;

struct WormLook {
    Tone hull;
    Tone glow;
    Tone eye;
    float radius;  // half width of the body tube
    bool organic;  // ship 1: scaled carapace, mandibles, thorns
};

const WormLook kLooks[2] = {
    {Tone::Steel, Tone::Cyan, Tone::Gold, 10.5f, false},
    {Tone::Violet, Tone::Green, Tone::Fire, 11.5f, true},
};

// Radius of the tube at u, with the waist at the joints (|u| = 16).
float TubeRadius(const WormLook& look, float u) {
    return look.radius - 1.5f * SmoothStep(11.5f, 16.f, std::fabs(u));
}

float HullLight(Vec3 n) { return 0.13f + 0.66f * Diffuse(n) + 0.55f * Specular(n, 18.f); }

// The violet carapace is glossier and darker than the steel armour.
float Shine(const WormLook& look, float lit) { return look.organic ? std::min(0.86f, lit * 0.88f) : lit; }

float Fract(float x) { return x - std::floor(x); }

// Shading of a point of the armour shared by all parts: grooves, scales and
// the glowing lights along the back. Returns true and sets `ink` when the
// point is one of the lights; otherwise adjusts `lit`.
bool BackDetail(const WormLook& look, float u, float v, float& lit, Ink& ink) {
    if (!look.organic) {
        float g = std::fabs(u);
        if (g > 10.4f && g < 11.6f) lit *= 0.5f;  // ring joint
        else if (g > 9.4f && g <= 10.4f) lit *= 1.18f;
        if (std::fabs(v) < 1.7f) {
            float node = std::exp(-u * u / 18.f);
            ink = Solid(look.glow, 0.5f + 0.3f * (1.f - std::fabs(v) / 1.7f) + 0.2f * node);
            return true;
        }
        if (std::fabs(v) < 2.7f) lit *= 0.5f;
        for (int side = -1; side <= 1; side += 2) {
            float du = u, dv = v - side * 7.f;
            float r = std::sqrt(du * du + dv * dv);
            if (r < 1.6f) {
                ink = Solid(look.glow, 0.95f - r * 0.2f);
                return true;
            }
        }
        return false;
    }
    // Overlapping scales, two per segment; each scale is lit toward its front.
    float s = Fract((u + 16.f) / 16.f);
    lit *= 0.72f + 0.42f * s;
    if (s < 0.09f) lit *= 0.55f;
    if (std::fabs(v) < 1.2f) lit *= 0.6f;
    for (int su = -1; su <= 1; su += 2)
        for (int sv = -1; sv <= 1; sv += 2) {
            float du = u - su * 8.f, dv = v - sv * 6.f;
            float r = std::sqrt(du * du + dv * dv);
            if (r < 1.8f) {
                ink = Solid(look.glow, 0.9f - r * 0.2f);
                return true;
            }
            if (r < 2.6f) lit = lit * 0.5f;
        }
    return false;
}

Ink BodyInk(const WormLook& look, int heading, float x, float y) {
    const HeadingFrame f = FrameOf(heading);
    auto sdf = [&](float sx, float sy) {
        float u = f.U(sx - 16.f, sy - 16.f), v = f.V(sx - 16.f, sy - 16.f);
        return std::fabs(v) - TubeRadius(look, u);
    };
    float d = sdf(x, y);
    if (d > 0.f) return {};
    float u = f.U(x - 16.f, y - 16.f), v = f.V(x - 16.f, y - 16.f);
    float lit = HullLight(BevelNormal(sdf, x, y, look.radius));
    Ink ink;
    if (BackDetail(look, u, v, lit, ink)) return ink;
    if (d > -0.9f) lit *= 0.45f;  // dark rim keeps the worm apart from the background
    return Solid(look.hull, Shine(look, lit));
}

// --- heads

const float kEyePulse[3] = {0.78f, 1.0f, 0.88f};
const float kMandibleOpen[3] = {1.0f, 0.45f, 0.0f};

Ink HeadInk(const WormLook& look, int heading, int frame, float x, float y) {
    const HeadingFrame f = FrameOf(heading);
    const float open = kMandibleOpen[frame];
    auto tube = [&](float u, float v) { return std::max(std::fabs(v) - TubeRadius(look, u), u); };
    auto skull = [&](float u, float v) {
        return look.organic ? SdEllipse(u, v, 0.5f, 0.f, 12.f, 13.5f) : SdEllipse(u, v, 1.5f, 0.f, 13.5f, 12.5f);
    };
    auto mandibles = [&](float u, float v) {
        float tip = 3.2f + 2.4f * open;
        float a = SdCapsule(u, std::fabs(v), 6.f, 9.5f, 11.5f, tip + 3.2f, 2.1f);
        float b = SdCapsule(u, std::fabs(v), 11.5f, tip + 3.2f, 15.f, tip, 1.2f);
        return std::min(a, b);
    };
    auto sdfLocal = [&](float u, float v) {
        float s = SmoothMin(tube(u, v), skull(u, v), 3.f);
        if (look.organic) s = std::min(s, mandibles(u, v));
        return s;
    };
    auto sdf = [&](float sx, float sy) {
        return sdfLocal(f.U(sx - 16.f, sy - 16.f), f.V(sx - 16.f, sy - 16.f));
    };
    float d = sdf(x, y);
    if (d > 0.f) return {};
    const float u = f.U(x - 16.f, y - 16.f), v = f.V(x - 16.f, y - 16.f);
    const float pulse = kEyePulse[frame];

    if (look.organic && mandibles(u, v) <= 0.f && skull(u, v) > -0.5f) {
        auto mand = [&](float sx, float sy) { return mandibles(f.U(sx - 16.f, sy - 16.f), f.V(sx - 16.f, sy - 16.f)); };
        float lit = 0.1f + 0.6f * Diffuse(BevelNormal(mand, x, y, 2.f)) + 0.5f * Specular(BevelNormal(mand, x, y, 2.f), 14.f);
        if (mandibles(u, v) > -0.6f) lit *= 0.5f;
        return Solid(Tone::Gold, lit * 0.85f);
    }

    // Eyes: slanted ovals, hot in the middle, with a glint toward the light.
    struct Eye {
        float cu, cv, ru, rv, tilt;
    };
    const Eye kSteelEyes[2] = {{5.f, -6.3f, 3.9f, 2.3f, 0.45f}, {5.f, 6.3f, 3.9f, 2.3f, -0.45f}};
    const Eye kOrganicEyes[4] = {{4.5f, -6.8f, 3.0f, 2.8f, 0.f}, {4.5f, 6.8f, 3.0f, 2.8f, 0.f},
                                 {-0.5f, -9.6f, 1.6f, 1.5f, 0.f}, {-0.5f, 9.6f, 1.6f, 1.5f, 0.f}};
    const Eye* eyes = look.organic ? kOrganicEyes : kSteelEyes;
    const int eyeCount = look.organic ? 4 : 2;
    float lit = HullLight(BevelNormal(sdf, x, y, look.radius + 2.f));
    for (int i = 0; i < eyeCount; ++i) {
        const Eye& e = eyes[i];
        float cu = u - e.cu, cv = v - e.cv;
        float ct = std::cos(e.tilt), st = std::sin(e.tilt);
        float a = (cu * ct - cv * st) / e.ru, b = (cu * st + cv * ct) / e.rv;
        float r = std::sqrt(a * a + b * b);
        if (r < 1.f) {
            Vec3 off = f.ToScreen(cu / e.ru, cv / e.rv, 0.f);
            float gx = off.x + 0.4f, gy = off.y + 0.4f;
            if (gx * gx + gy * gy < 0.1f) return Solid(look.eye, 1.f);
            return Solid(look.eye, (0.3f + 0.62f * (1.f - r * r)) * pulse);
        }
        if (r < 1.4f) lit *= 0.45f;  // socket
    }

    if (!look.organic) {
        // crest gem between the eyes, the spine running back from it
        float gem = std::fabs(v) + std::fabs(u - 4.5f) * 0.6f;
        if (gem < 2.6f) return Solid(look.glow, (0.55f + 0.45f * (1.f - gem / 2.6f)) * (0.55f + 0.45f * pulse));
        if (std::fabs(v) < 2.3f && u < 2.f) return Solid(look.glow, 0.5f + 0.3f * (1.f - std::fabs(v) / 2.3f));
        if (std::fabs(v) < 3.1f && u < 3.f) lit *= 0.55f;
        // mouth vent at the nose
        if (std::fabs(u - 12.2f) < 0.9f && std::fabs(v) < 4.2f) return Solid(look.glow, 0.35f + 0.5f * (pulse - 0.78f) / 0.22f);
        if (std::fabs(u - 12.2f) < 1.5f && std::fabs(v) < 4.8f) lit *= 0.5f;
        // collar
        if (std::fabs(u + 4.f) < 0.6f) lit *= 0.55f;
        else if (u < -4.f) {
            float g = std::fabs(u);
            if (g > 10.4f && g < 11.6f) lit *= 0.5f;
        }
    } else {
        // head plate edge, glowing spots along the crown and the back
        float plate = SdEllipse(u, v, -2.f, 0.f, 9.f, 10.f);
        if (std::fabs(plate) < 0.55f && u > -9.f) lit *= 0.55f;
        const float spots[3][2] = {{-1.5f, 0.f}, {-8.f, -6.f}, {-8.f, 6.f}};
        for (const auto& s : spots) {
            float du = u - s[0], dv = v - s[1];
            float r = std::sqrt(du * du + dv * dv);
            if (r < 1.8f) return Solid(look.glow, (0.9f - r * 0.2f) * (0.7f + 0.3f * pulse));
            if (r < 2.6f) lit *= 0.5f;
        }
        if (std::fabs(v) < 1.2f && u < -3.f) lit *= 0.6f;
        // mouth between the mandibles
        if (SdEllipse(u, v, 11.8f, 0.f, 1.3f, 3.2f) < 0.f) return Solid(Tone::Fire, 0.25f + 0.3f * pulse);
    }
    if (d > -0.9f) lit *= 0.45f;
    return Solid(look.hull, Shine(look, lit));
}

// --- tail ends

enum TailFrame { kTailNormal = 0, kTailCharged = 1, kTailBoost = 2, kTailBrake = 3 };

float TailRadius(const WormLook& look, float u) {
    if (u >= 4.f) return TubeRadius(look, u);
    float tipU = look.organic ? -8.5f : -3.6f;
    float tipR = look.organic ? 1.0f : 3.4f;
    float t = Clamp01((u - tipU) / (4.f - tipU));
    return Mix(tipR, TubeRadius(look, 4.f), std::pow(t, 0.7f));
}

Ink TailInk(const WormLook& look, int heading, int frame, float x, float y) {
    const HeadingFrame f = FrameOf(heading);
    const float endU = look.organic ? -8.5f : -3.8f;
    auto hull = [&](float u, float v) { return std::max(std::fabs(v) - TailRadius(look, u), endU - u); };
    auto nozzle = [&](float u, float v) {
        if (look.organic) return 1e3f;
        return std::max(std::fabs(v) - 4.1f, std::max(-5.8f - u, u + 3.2f));
    };
    auto fins = [&](float u, float v) {
        if (look.organic) {
            // backward thorns
            return SdCapsule(u, std::fabs(v), 1.f, 9.f, -6.5f, 13.5f, 1.1f);
        }
        return SdCapsule(u, std::fabs(v), 2.f, 8.f, -3.5f, 12.f, 1.5f);
    };
    auto body = [&](float u, float v) { return std::min(std::min(hull(u, v), nozzle(u, v)), fins(u, v)); };
    auto sdf = [&](float sx, float sy) { return body(f.U(sx - 16.f, sy - 16.f), f.V(sx - 16.f, sy - 16.f)); };
    const float u = f.U(x - 16.f, y - 16.f), v = f.V(x - 16.f, y - 16.f);
    const float d = sdf(x, y);

    if (d > 0.f) {
        // exhaust and jets lie outside the hull
        const float mouthU = look.organic ? -8.f : -5.6f;
        if (frame == kTailBoost && u < mouthU + 0.5f) {
            float t = (mouthU - u) / (16.f + mouthU);
            if (t < 0.f) t = 0.f;
            float flick = 0.6f * std::sin(u * 1.9f + v * 0.7f);
            float hw = 4.3f * std::pow(1.f - Clamp01(t), 0.75f) + flick * 0.5f * t;
            if (std::fabs(v) < hw && t < 1.f) {
                float heat = (1.f - std::fabs(v) / hw) * (1.f - 0.75f * t);
                return Solid(Tone::Fire, 0.3f + 0.75f * heat);
            }
        }
        if (frame == kTailBrake) {
            for (int side = -1; side <= 1; side += 2) {
                // a retro jet blowing forward and outward from each flank
                float au = 0.5f, av = side * (TailRadius(look, 0.5f) - 0.5f);
                float du = 0.55f, dv = side * 0.83f;
                float pu = u - au, pv = v - av;
                float along = pu * du + pv * dv;
                float across = std::fabs(-pu * dv + pv * du);
                if (along > 0.f && along < 10.f) {
                    float hw = 1.0f + along * 0.28f;
                    if (across < hw) {
                        float heat = (1.f - across / hw) * (1.f - along / 10.f);
                        return Soft(Tone::Cyan, 0.45f + 0.6f * heat, Clamp01(0.5f + heat * 2.5f));
                    }
                }
            }
        }
        if (frame == kTailCharged) {
            // sparkles around a held charge
            const float glints[3][2] = {{-8.5f, 6.5f}, {-3.5f, -10.f}, {7.f, 13.f}};
            for (const auto& g : glints) {
                float du = std::fabs(u - g[0]), dv = std::fabs(v - g[1]);
                if ((du < 0.5f && dv < 2.2f) || (dv < 0.5f && du < 2.2f))
                    return Solid(Tone::Gold, 1.f - 0.25f * (du + dv));
            }
        }
        return {};
    }

    Vec3 n = BevelNormal(sdf, x, y, look.radius);
    float lit = HullLight(n);
    const bool inNozzle = nozzle(u, v) <= 0.f && hull(u, v) > 0.f;
    const bool inFin = fins(u, v) <= 0.f && hull(u, v) > 0.f;
    if (inNozzle) {
        if (u < -5.1f && std::fabs(v) < 2.8f) {
            float glow = frame == kTailBoost ? 1.f : (frame == kTailCharged ? 0.75f : (frame == kTailBrake ? 0.1f : 0.5f));
            Tone t = frame == kTailBoost ? Tone::Fire : (frame == kTailCharged ? Tone::Gold : look.glow);
            return Solid(t, glow * (1.f - std::fabs(v) / 4.f));
        }
        return Solid(Tone::Grey, lit * 0.8f);
    }
    if (inFin) {
        if (d > -0.7f) lit *= 0.45f;
        return Solid(look.organic ? Tone::Gold : look.hull, lit * (look.organic ? 0.8f : 0.85f));
    }
    if (frame == kTailCharged && u > 0.f && u < 3.2f) {
        // the charge rides in a glowing band
        return Solid(Tone::Gold, 0.45f + 0.5f * lit + 0.1f);
    }
    if (look.organic && u < -5.f && std::fabs(v) < 1.2f) {
        // glowing stinger tip
        Tone t = frame == kTailBoost ? Tone::Fire : (frame == kTailCharged ? Tone::Gold : look.glow);
        return Solid(t, frame == kTailBrake ? 0.3f : 0.85f);
    }
    Ink ink;
    if (u > 4.f && BackDetail(look, u, v, lit, ink)) return ink;
    if (u <= 4.f && !look.organic && std::fabs(v) < 1.6f && u > -3.f) return Solid(look.glow, 0.45f);
    if (d > -0.9f) lit *= 0.45f;
    return Solid(look.hull, Shine(look, lit));
}

}  // namespace

Canvas BuildWormSheet(int ship) {
    const WormLook& look = kLooks[ship == 1 ? 1 : 0];
    Canvas sheet(640, 140, 0);
    for (int h = 0; h < 4; ++h) {
        const int top = kCell * h;
        DrawStripLines(sheet, kHeadX, top, kCell, kCell, 3);
        DrawStripLines(sheet, kBodyX, top, kCell, kCell, 1);
        DrawStripLines(sheet, kTailX, top, kCell, kCell, 4);
        for (int k = 0; k < 3; ++k)
            ShadeRect(sheet, FrameLeft(kHeadX, kCell, k), FrameTop(top), kPic, kPic,
                      [&](float x, float y) { return HeadInk(look, h, k, x, y); });
        ShadeRect(sheet, FrameLeft(kBodyX, kCell, 0), FrameTop(top), kPic, kPic,
                  [&](float x, float y) { return BodyInk(look, h, x, y); });
        for (int k = 0; k < 4; ++k)
            ShadeRect(sheet, FrameLeft(kTailX, kCell, k), FrameTop(top), kPic, kPic,
                      [&](float x, float y) { return TailInk(look, h, k, x, y); });
    }
    return sheet;
}

}  // namespace play
