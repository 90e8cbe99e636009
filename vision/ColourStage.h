// One colour stage of a frame applied to a captured bitmap, in place: the
// sequences the lens runs for simulation and for the three correction levels.
#pragma once

#include "platform/Bitmap24.h"

enum class ColourStage {
    SimulateRedGreen, // ConvertToHsi, SimulateRedGreen, ConvertFromHsi
    LowLevel,         // ConvertToHsi, CorrectHues(HueCurve), BoostSaturation, ConvertFromHsi
    HighLevel,        // ConvertToHsi, SeparateRedLightness, BoostSaturation, ConvertFromHsi
    Severe,           // SevereCorrect in place
};

// `capture` ends as the stage's result (a copy of HsiResultBitmap for the HSI
// stages). LowLevel reads HueCurve as it stands: build it first. The probe
// values are those the severe correction leaves; the HSI stages leave them be.
void ApplyColourStage(ColourStage stage, platform::Bitmap24& capture, int& probeRed, int& probeGreen,
                      int& probeBlue);
