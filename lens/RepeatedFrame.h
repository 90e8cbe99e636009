// A lens frame whose inputs and capture are those of the frame on show would
// compute what that frame computed: it can take what that frame left instead
// of doing the work again. A still lens then costs little more than its
// capture, and once a repeat has shown that capture to be settled, not even
// that while the screen can vouch that nothing under it changed.
#pragma once

#include "platform/Bitmap24.h"
#include "platform/Geometry.h"

#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>

// Everything a lens frame reads besides the screen, as it stood at the
// capture. Reals are held as their bits: equal means bit for bit.
struct FrameInputs {
    std::int32_t cursorX, cursorY;
    TRect lensRect;
    std::int32_t displayWidth, displayHeight, zoomFactor, sourceWidth, sourceHeight;
    std::int32_t smoothOn, probeOn;
    std::int32_t correctionOn, colourBlindLevel, simulationOn, squintPosition;
    std::uint32_t squintAngle, squintCentreX, squintCentreY;
    std::int32_t probeRed, probeGreen, probeBlue;
    std::uint32_t rotatedX, rotatedY;
    std::uint32_t hueCurve[4];

    bool operator==(const FrameInputs& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
    bool operator!=(const FrameInputs& o) const { return !(*this == o); }
};
// No padding: comparing the bytes compares every field and nothing else.
static_assert(std::has_unique_object_representations_v<FrameInputs>);

inline std::uint32_t BitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// What a frame's processing leaves in the lens fields besides CaptureBitmap:
// SourceWidth, SourceHeight, ProbeRed, ProbeGreen, ProbeBlue, RotatedX,
// RotatedY and ScanLine, saved and restored as one.
using FrameOutputs = std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, float,
                                float, std::uint8_t*>;

class RepeatedFrame {
public:
    // Switched off, every frame does its work: what tests compare against.
    void setEnabled(bool enabled);
    bool enabled() const { return m_enabled; }

    // Asked once the capture is in: true when `inputs` and every pixel of
    // `capture` (those the capture left from before included) are those of
    // the frame on show and `picture` is still the key of the picture it
    // drew. Then `capture` and `outputs` become what that frame left.
    // Otherwise this frame's inputs are kept for the next, and its capture
    // too unless the cursor or the lens keeps moving.
    bool repeats(const FrameInputs& inputs, std::int64_t picture, platform::Bitmap24& capture,
                 FrameOutputs& outputs);
    // Asked before the capture: true when the frame on show was itself a
    // repeat, `screenUnchanged` vouches that the screen under its capture
    // has not changed since, `inputs` and `picture` are as then, and
    // `capture` is the key CaptureBitmap's image had when that frame ended.
    // A capture now would then write, over what that frame left, the very
    // bitmap it compared (the repeat showed what it left to be settled), so
    // the frame may skip it: `outputs` become what that frame left.
    bool repeatsUnread(const FrameInputs& inputs, std::int64_t picture, std::int64_t capture,
                       bool screenUnchanged, FrameOutputs& outputs);
    // After the processing: what it left. `rewritten` says whether it
    // rewrote the capture.
    void remember(const platform::Bitmap24& capture, bool rewritten, const FrameOutputs& outputs);
    // After the overlay: the key of the picture now on show.
    void shown(std::int64_t picture);
    // At the end of every frame's processing: the key of CaptureBitmap's
    // image as the frame leaves it.
    void settled(std::int64_t capture) { m_captureKey = capture; }
    // A frame whose work nothing here can stand in for.
    void forget() { m_valid = m_settled = false; }

    std::uint64_t count() const { return m_count; }

private:
    bool m_enabled = true;
    bool m_valid = false;
    FrameInputs m_inputs{};
    std::int64_t m_picture = 0;
    platform::Bitmap24 m_capture, m_result;
    bool m_kept = false;   // m_capture holds the capture of the frame with m_inputs
    bool m_moving = false; // the last frame found the cursor or the lens moved
    bool m_rewritten = false;
    bool m_settled = false; // the frame on show repeated the one before
    std::int64_t m_captureKey = 0;
    FrameOutputs m_outputs{};
    std::uint64_t m_count = 0;
};
