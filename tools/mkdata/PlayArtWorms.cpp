// The two space worms: heads, body segments and tail ends for each heading.
//
// Sheet layout (world/WormSheets.h, which the game cuts the sprites by): a
// row of cells for each heading h (0 up, 1 right, 2 down, 3 left), holding
// the head's frames, the body, and the tail end's frames (normal, charge
// held, boosting, braking).
//
// Every part is drawn in the worm's own frame (u forward, v to the right) and
// lit in screen space, so the light stays at the upper left whichever way the
// worm crawls.
//
// How the parts meet: consecutive segments stand 32 pixels apart on a
// straight run, and at a corner each is moved p pixels along its own heading,
// so the one behind arrives at the side of the one ahead. Every part is
// therefore a tube of one width along its heading (its ends meet the next
// part's ends on a straight run, and a stretched tube stays a tube) crossed
// by a ring that reaches the full width of the cell at its middle: the tube
// of the segment behind meets that ring at a corner whatever the step. Heads
// carry the ring as cheek plates, tails as fins. Nothing runs lengthwise
// along the back, since a stripe could not line up round a corner.
#include <cmath>

#include "PlayPaint.h"
#include "gfx/ImageSlots.h"
#include "world/WormSheets.h"

namespace play {
namespace {

constexpr int kPic = kWormCell - 1;

struct WormLook {
    Tone hull;
    Tone glow;
    Tone eye;
    Tone trim;     // the outer ends of the rings
    float radius;  // half width of the tube
    float ring;    // half length of a body ring along the worm
    float corner;  // rounding of the ring's outer corners
    bool organic;  // ship 1: scaled carapace, mandibles, thorns
};

const WormLook kLooks[2] = {
    {Tone::Steel, Tone::Cyan, Tone::Gold, Tone::Grey, 10.f, 12.f, 5.f, false},
    {Tone::Violet, Tone::Green, Tone::Fire, Tone::Gold, 10.f, 12.5f, 6.5f, true},
};

// Signed distance of a box |x| <= hx, |y| <= hy with rounded corners.
float SdRoundBox(float x, float y, float hx, float hy, float r) {
    const float qx = std::fabs(x) - (hx - r), qy = std::fabs(y) - (hy - r);
    const float ox = std::max(qx, 0.f), oy = std::max(qy, 0.f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.f) - r;
}

// A ring across the worm from u = lo to u = hi; it runs out past both sides
// of the cell so that its ends are cut square by the picture's edge.
float RingSdf(const WormLook& look, float u, float v, float lo, float hi, float rounding = 1.f) {
    return SdRoundBox(u - 0.5f * (lo + hi), v, 0.5f * (hi - lo), 16.6f, look.corner * rounding);
}

float TubeSdf(const WormLook& look, float v) { return std::fabs(v) - look.radius; }

float HullLight(Vec3 n) { return 0.13f + 0.66f * Diffuse(n) + 0.55f * Specular(n, 18.f); }

// The violet carapace is glossier and darker than the steel armour.
float Shine(const WormLook& look, float lit) { return look.organic ? std::min(0.86f, lit * 0.88f) : lit; }

float Fract(float x) { return x - std::floor(x); }

// Light on the tube: round across, the same all along.
float TubeLight(const WormLook& look, const HeadingFrame& f, float v) {
    const float nv = Clamp(v / (look.radius + 0.5f), -0.97f, 0.97f);
    return HullLight(Normalize(f.ToScreen(0.f, nv, std::sqrt(1.f - nv * nv))));
}

// Light on a ring: a barrel, rounded along the worm and gently across. Its
// rounding along the worm matches the tube's across, so where a tube runs
// into the side of a ring round a corner the light carries on.
float RingLight(const WormLook& look, const HeadingFrame& f, float u, float v, float centreU, float halfU) {
    const float nu = Clamp((u - centreU) / (halfU + 0.5f), -0.97f, 0.97f) * 0.9f;
    const float nv = Clamp(v / 17.f, -1.f, 1.f) * 0.45f;
    (void)look;
    return HullLight(Normalize(f.ToScreen(nu, nv, 1.f)));
}

// Shading of a ring's surface shared by bodies, cheeks and fins. Returns true
// and sets `ink` when the point is a light or a fitting; otherwise adjusts
// `lit` and may change `tone`.
bool RingDetail(const WormLook& look, float u, float v, float centreU, float halfU, float& lit, Tone& tone, Ink& ink) {
    const float du = u - centreU, edge = halfU - std::fabs(du);
    if (!look.organic) {
        if (edge < 1.4f)
            lit *= 0.55f;  // the plate's end
        else if (edge < 2.4f)
            lit *= 1.15f;
        for (int side = -1; side <= 1; side += 2) {
            // a rivet near each end of the plate, and a hard grey cuff
            float rv = v - side * 13.2f;
            float r = std::sqrt(du * du + rv * rv);
            if (r < 1.5f) {
                ink = Solid(Tone::Grey, 0.95f - r * 0.3f);
                return true;
            }
            if (r < 2.2f) lit *= 0.5f;
            if (std::fabs(v) > 14.6f) tone = look.trim;
        }
        return false;
    }
    // overlapping scales lit toward their front, and gold leg tips at the sides
    float s = Fract((du + halfU) / 8.f);
    lit *= 0.74f + 0.4f * s;
    if (s < 0.1f) lit *= 0.6f;
    if (std::fabs(v) > 12.6f) {
        tone = look.trim;
        lit = lit * 0.85f + 0.05f;
        if (std::fabs(std::fabs(v) - 12.6f) < 0.7f) lit *= 0.5f;
    }
    return false;
}

Ink BodyInk(const WormLook& look, int heading, float x, float y) {
    const HeadingFrame f = FrameOf(heading);
    const float u = f.U(x - 16.f, y - 16.f), v = f.V(x - 16.f, y - 16.f);
    const float ringHalf = look.ring;
    const float tube = TubeSdf(look, v), ring = RingSdf(look, u, v, -ringHalf, ringHalf);
    const float d = SmoothMin(tube, ring, 1.5f);
    if (d > 0.f) return {};
    Tone tone = look.hull;
    Ink ink;
    float lit;
    if (ring <= 0.f) {
        lit = RingLight(look, f, u, v, 0.f, ringHalf);
        // a light at the heart of each segment
        const float r = std::sqrt(u * u + v * v);
        if (!look.organic) {
            if (r < 3.f) return Solid(look.glow, 0.55f + 0.45f * (1.f - r / 3.f));
            if (r < 4.2f) lit *= 0.45f;
        } else {
            for (int side = -1; side <= 1; side += 2) {
                float dv = v - side * 6.5f, rr = std::sqrt(u * u + dv * dv);
                if (rr < 2.2f) return Solid(look.glow, 0.95f - rr * 0.2f);
                if (rr < 3.f) lit *= 0.5f;
            }
        }
        if (RingDetail(look, u, v, 0.f, ringHalf, lit, tone, ink)) return ink;
        if (ring > -0.9f && tube > -0.9f) lit *= 0.45f;  // its rim, where it stands off the tube
    } else {
        lit = TubeLight(look, f, v) * 0.72f;  // the joint between rings lies deeper
        if (d > -0.9f) lit *= 0.45f;
    }
    return Solid(tone, Shine(look, lit));
}

// --- heads

const float kEyePulse[3] = {0.78f, 1.0f, 0.88f};
const float kMandibleOpen[3] = {1.0f, 0.45f, 0.0f};

Ink HeadInk(const WormLook& look, int heading, int frame, float x, float y) {
    const HeadingFrame f = FrameOf(heading);
    const float open = kMandibleOpen[frame];
    // the neck behind, the cheek plates (the head's ring) and the skull ahead
    auto tube = [&](float u, float v) { return std::max(TubeSdf(look, v), u); };
    const float cheekLo = -look.ring, cheekHi = look.organic ? 7.5f : 7.f;
    auto cheeks = [&](float u, float v) { return RingSdf(look, u, v, cheekLo, cheekHi); };
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
        float s = std::min(SmoothMin(tube(u, v), skull(u, v), 3.f), cheeks(u, v));
        if (look.organic) s = std::min(s, mandibles(u, v));
        return s;
    };
    auto sdf = [&](float sx, float sy) { return sdfLocal(f.U(sx - 16.f, sy - 16.f), f.V(sx - 16.f, sy - 16.f)); };
    float d = sdf(x, y);
    if (d > 0.f) return {};
    const float u = f.U(x - 16.f, y - 16.f), v = f.V(x - 16.f, y - 16.f);
    const float pulse = kEyePulse[frame];

    if (look.organic && mandibles(u, v) <= 0.f && skull(u, v) > -0.5f) {
        auto mand = [&](float sx, float sy) { return mandibles(f.U(sx - 16.f, sy - 16.f), f.V(sx - 16.f, sy - 16.f)); };
        float lit =
            0.1f + 0.6f * Diffuse(BevelNormal(mand, x, y, 2.f)) + 0.5f * Specular(BevelNormal(mand, x, y, 2.f), 14.f);
        if (mandibles(u, v) > -0.6f) lit *= 0.5f;
        return Solid(Tone::Gold, lit * 0.85f);
    }

    // Eyes: slanted ovals, hot in the middle, with a glint toward the light.
    struct Eye {
        float cu, cv, ru, rv, tilt;
    };
    const Eye kSteelEyes[2] = {{5.f, -6.3f, 3.9f, 2.3f, 0.45f}, {5.f, 6.3f, 3.9f, 2.3f, -0.45f}};
    const Eye kOrganicEyes[4] = {{4.5f, -6.8f, 3.0f, 2.8f, 0.f},
                                 {4.5f, 6.8f, 3.0f, 2.8f, 0.f},
                                 {-0.5f, -9.6f, 1.6f, 1.5f, 0.f},
                                 {-0.5f, 9.6f, 1.6f, 1.5f, 0.f}};
    const Eye* eyes = look.organic ? kOrganicEyes : kSteelEyes;
    const int eyeCount = look.organic ? 4 : 2;
    // the cheek plates, where the skull does not cover them
    if (cheeks(u, v) <= 0.f && skull(u, v) > 0.f) {
        const float mid = 0.5f * (cheekLo + cheekHi), half = 0.5f * (cheekHi - cheekLo);
        float lit = RingLight(look, f, u, v, mid, half);
        Tone tone = look.hull;
        Ink ink;
        if (RingDetail(look, u, v, mid, half, lit, tone, ink)) return ink;
        if (skull(u, v) < 0.9f) lit *= 0.45f;  // the skull's shadow on them
        return Solid(tone, Shine(look, lit * 0.92f));
    }
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
        if (std::fabs(v) < 1.6f && u < 2.f && u > -2.f)
            return Solid(look.glow, 0.5f + 0.3f * (1.f - std::fabs(v) / 1.6f));
        // mouth vent at the nose
        if (std::fabs(u - 12.2f) < 0.9f && std::fabs(v) < 4.2f)
            return Solid(look.glow, 0.35f + 0.5f * (pulse - 0.78f) / 0.22f);
        if (std::fabs(u - 12.2f) < 1.5f && std::fabs(v) < 4.8f) lit *= 0.5f;
        if (u < -look.ring) lit *= 0.72f;  // the neck
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
        if (u < -look.ring) lit *= 0.72f;  // the neck
        // mouth between the mandibles
        if (SdEllipse(u, v, 11.8f, 0.f, 1.3f, 3.2f) < 0.f) return Solid(Tone::Fire, 0.25f + 0.3f * pulse);
    }
    if (d > -0.9f) lit *= 0.45f;
    return Solid(look.hull, Shine(look, lit));
}

// --- tail ends

// The tail's fins: a ring across its front half.
constexpr float kFinLo = -4.f, kFinHi = 11.f;

float TailRadius(const WormLook& look, float u) {
    if (u >= kFinLo) return look.radius;
    const float tipU = look.organic ? -12.f : -7.8f;
    const float tipR = look.organic ? 1.0f : 3.6f;
    const float t = Clamp01((u - tipU) / (kFinLo - tipU));
    return Mix(tipR, look.radius, std::pow(t, 0.7f));
}

Ink TailInk(const WormLook& look, int heading, int frame, float x, float y) {
    const HeadingFrame f = FrameOf(heading);
    const float endU = look.organic ? -12.f : -7.6f;
    auto hull = [&](float u, float v) { return std::max(std::fabs(v) - TailRadius(look, u), endU - u); };
    auto nozzle = [&](float u, float v) {
        if (look.organic) return 1e3f;
        return std::max(std::fabs(v) - 4.1f, std::max(-9.6f - u, u + 7.f));
    };
    auto fins = [&](float u, float v) { return RingSdf(look, u, v, kFinLo, kFinHi, 0.4f); };
    auto body = [&](float u, float v) { return std::min(std::min(hull(u, v), nozzle(u, v)), fins(u, v)); };
    auto sdf = [&](float sx, float sy) { return body(f.U(sx - 16.f, sy - 16.f), f.V(sx - 16.f, sy - 16.f)); };
    const float u = f.U(x - 16.f, y - 16.f), v = f.V(x - 16.f, y - 16.f);
    const float d = sdf(x, y);

    if (d > 0.f) {
        // exhaust and jets lie outside the hull
        const float mouthU = look.organic ? -11.5f : -9.4f;
        if (frame == kTailBoost && u < mouthU + 0.5f) {
            float t = (mouthU - u) / (16.f + mouthU);
            if (t < 0.f) t = 0.f;
            float flick = 0.6f * std::sin(u * 1.9f + v * 0.7f);
            float hw = 4.6f * std::pow(1.f - Clamp01(t), 0.6f) + flick * 0.5f * t;
            if (std::fabs(v) < hw && t < 1.f) {
                float heat = (1.f - std::fabs(v) / hw) * (1.f - 0.6f * t);
                return Solid(Tone::Fire, 0.35f + 0.75f * heat);
            }
        }
        if (frame == kTailBrake) {
            for (int side = -1; side <= 1; side += 2) {
                // a retro jet blowing out sideways from behind each fin
                float au = kFinLo - 0.5f, av = side * 9.5f;
                float du = -0.7f, dv = side * 0.71f;
                float pu = u - au, pv = v - av;
                float along = pu * du + pv * dv;
                float across = std::fabs(-pu * dv + pv * du);
                if (along > 0.f && along < 11.f) {
                    float hw = 1.2f + along * 0.3f;
                    if (across < hw) {
                        float heat = (1.f - across / hw) * (1.f - along / 11.f);
                        return Soft(Tone::Cyan, 0.45f + 0.6f * heat, Clamp01(0.5f + heat * 2.5f));
                    }
                }
            }
        }
        if (frame == kTailCharged) {
            // sparkles around a held charge
            const float glints[3][2] = {{-10.f, 9.f}, {-13.f, -6.f}, {-6.5f, -12.5f}};
            for (const auto& g : glints) {
                float du = std::fabs(u - g[0]), dv = std::fabs(v - g[1]);
                if ((du < 0.5f && dv < 2.2f) || (dv < 0.5f && du < 2.2f))
                    return Solid(Tone::Gold, 1.f - 0.25f * (du + dv));
            }
        }
        return {};
    }

    const bool inNozzle = nozzle(u, v) <= 0.f && hull(u, v) > 0.f;
    const bool inFin = fins(u, v) <= 0.f;
    if (inNozzle) {
        float lit = HullLight(BevelNormal(sdf, x, y, 3.f));
        if (u < -9.1f && std::fabs(v) < 2.8f) {
            float glow =
                frame == kTailBoost ? 1.f : (frame == kTailCharged ? 0.75f : (frame == kTailBrake ? 0.1f : 0.5f));
            Tone t = frame == kTailBoost ? Tone::Fire : (frame == kTailCharged ? Tone::Gold : look.glow);
            return Solid(t, glow * (1.f - std::fabs(v) / 4.f));
        }
        return Solid(Tone::Grey, lit * 0.8f);
    }
    if (frame == kTailCharged && inFin && u > 2.f && u < 5.2f) {
        // the charge rides in a glowing band
        return Solid(Tone::Gold, 0.6f + 0.35f * TubeLight(look, f, v));
    }
    if (inFin) {
        const float mid = 0.5f * (kFinLo + kFinHi), half = 0.5f * (kFinHi - kFinLo);
        float lit = RingLight(look, f, u, v, mid, half);
        Tone tone = look.hull;
        Ink ink;
        if (RingDetail(look, u, v, mid, half, lit, tone, ink)) return ink;
        if (fins(u, v) > -0.9f && hull(u, v) > -0.9f) lit *= 0.45f;
        return Solid(tone, Shine(look, lit));
    }
    if (look.organic && u < -8.f && std::fabs(v) < 1.2f) {
        // glowing stinger tip
        Tone t = frame == kTailBoost ? Tone::Fire : (frame == kTailCharged ? Tone::Gold : look.glow);
        return Solid(t, frame == kTailBrake ? 0.3f : 0.85f);
    }
    float lit = u >= kFinLo ? TubeLight(look, f, v) * 0.72f : HullLight(BevelNormal(sdf, x, y, look.radius));
    if (d > -0.9f) lit *= 0.45f;
    return Solid(look.hull, Shine(look, lit));
}

}  // namespace

// The game's icon: ship 0's worm heading up, its head over the front half of
// a body ring, in a 48 x 48 picture: the worm 32 wide in the middle, clear of
// the top edge, rising out of the bottom one.
Ink WormIconInk(float x, float y) {
    const WormLook& look = kLooks[0];
    const float px = x - 8.f, py = y - 3.f;
    if (px < 0.f || px >= 32.f || py < 0.f || y >= 48.f) return {};
    if (py < 32.f) return HeadInk(look, 0, 1, px, py);
    return BodyInk(look, 0, px, py - 32.f);
}

Canvas BuildWormSheet(int ship) {
    const WormLook& look = kLooks[ship == 1 ? 1 : 0];
    const ImageSlotFile& file = kImageSlotFiles[ship == 1 ? kImageWorm1 : kImageWorm0];
    Canvas sheet(file.width, file.height, 0);
    for (int h = 0; h < 4; ++h) {
        const SheetCell head = WormHeadCell(h), body = WormBodyCell(h), tail = WormTailCell(h);
        DrawStripLines(sheet, head, kWormHeadFrames);
        DrawStripLines(sheet, body, kWormBodyFrames);
        DrawStripLines(sheet, tail, kWormTailFrames);
        for (int k = 0; k < kWormHeadFrames; ++k)
            ShadeRect(sheet, FrameLeft(head, k), FrameTop(head), kPic, kPic,
                      [&](float x, float y) { return HeadInk(look, h, k, x, y); });
        ShadeRect(sheet, FrameLeft(body, 0), FrameTop(body), kPic, kPic,
                  [&](float x, float y) { return BodyInk(look, h, x, y); });
        for (int k = 0; k < kWormTailFrames; ++k)
            ShadeRect(sheet, FrameLeft(tail, k), FrameTop(tail), kPic, kPic,
                      [&](float x, float y) { return TailInk(look, h, k, x, y); });
    }
    return sheet;
}

}  // namespace play
