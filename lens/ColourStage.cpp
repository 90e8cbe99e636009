#include "lens/ColourStage.h"

#include "lens/SevereCorrection.h"
#include "vision/ColourCache.h"
#include "vision/ColourVision.h"

ColourStage StageFor(int simulationOn, int correctionOn, int colourBlindLevel) {
    if (simulationOn == 1)
        return ColourStage::SimulateRedGreen;
    if (correctionOn != 1)
        return ColourStage::None;
    switch (colourBlindLevel) {
    case 1:
        return ColourStage::LowLevel;
    case 2:
        return ColourStage::HighLevel;
    case 3:
        return ColourStage::Severe;
    default:
        return ColourStage::LowLevelFallback;
    }
}

void ApplyColourStage(ColourStage stage, platform::Bitmap24& capture, int& probeRed, int& probeGreen,
                      int& probeBlue, int left, int top) {
    switch (stage) {
    case ColourStage::SimulateRedGreen:
        SimulateRedGreenFast(capture, left, top);
        return;
    case ColourStage::LowLevel:
        CorrectLowLevelFast(capture, HueCurve, left, top);
        return;
    case ColourStage::HighLevel:
        CorrectHighLevelFast(capture, left, top);
        return;
    case ColourStage::Severe:
        SevereCorrect(capture, capture.width(), capture.height(), probeRed, probeGreen, probeBlue);
        return;
    case ColourStage::None:
    case ColourStage::LowLevelFallback:
        return;
    }
}

void ApplyColourStageReference(ColourStage stage, platform::Bitmap24& capture, int& probeRed, int& probeGreen,
                               int& probeBlue) {
    if (stage == ColourStage::Severe) {
        SevereCorrect(capture, capture.width(), capture.height(), probeRed, probeGreen, probeBlue);
        return;
    }
    if (!RewritesCapture(stage))
        return;
    ConvertToHsi(capture);
    switch (stage) {
    case ColourStage::SimulateRedGreen:
        SimulateRedGreen();
        break;
    case ColourStage::LowLevel:
        CorrectHues(HueCurve);
        BoostSaturation();
        break;
    case ColourStage::HighLevel:
        SeparateRedLightness();
        BoostSaturation();
        break;
    default:
        break;
    }
    ConvertFromHsi(capture);
    capture.assign(*HsiResultBitmap);
}
