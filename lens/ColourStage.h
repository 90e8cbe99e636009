// One colour stage of a frame applied to a captured bitmap, in place: the
// sequences the lens runs for simulation and for the three correction levels.
#pragma once

#include "platform/Bitmap24.h"

enum class ColourStage {
    SimulateRedGreen, // ConvertToHsi, SimulateRedGreen, ConvertFromHsi
    LowLevel,         // ConvertToHsi, CorrectHues(HueCurve), BoostSaturation, ConvertFromHsi
    HighLevel,        // ConvertToHsi, SeparateRedLightness, BoostSaturation, ConvertFromHsi
    Severe,           // SevereCorrect in place
    None,             // the frame is left as captured
    // Correction on with no level the lens knows: the frame is left as
    // captured and the lens selects Low Level for the frames that follow.
    LowLevelFallback,
};

// Which stage a frame runs. Simulation takes precedence over correction.
ColourStage StageFor(int simulationOn, int correctionOn, int colourBlindLevel);

// Whether the stage rewrites the capture.
inline bool RewritesCapture(ColourStage stage) {
    return stage != ColourStage::None && stage != ColourStage::LowLevelFallback;
}

// `capture` ends as the stage's result; None and LowLevelFallback leave it be (a copy of HsiResultBitmap for
// the HSI stages). LowLevel reads HueCurve as it stands: build it first. The probe values are those the
// severe correction leaves; the HSI stages leave them be. The HSI stages go through the per-colour fast paths
// (vision/ColourCache.h), which leave the HSI planes as scratch.
// (left, top): where the capture lies on the desktop, when it is known.
void ApplyColourStage(ColourStage stage, platform::Bitmap24& capture, int& probeRed, int& probeGreen,
                      int& probeBlue, int left = 0, int top = 0);
// The same through the plane functions, step by step: the reference the fast
// paths are held to.
void ApplyColourStageReference(ColourStage stage, platform::Bitmap24& capture, int& probeRed, int& probeGreen,
                               int& probeBlue);
