#include "vision/ColourStage.h"

#include "lens/SevereCorrection.h"
#include "vision/ColourCache.h"
#include "vision/ColourVision.h"

void ApplyColourStage(ColourStage stage, platform::Bitmap24& capture, int& probeRed, int& probeGreen,
                      int& probeBlue) {
    switch (stage) {
    case ColourStage::SimulateRedGreen:
        SimulateRedGreenFast(capture);
        return;
    case ColourStage::LowLevel:
        CorrectLowLevelFast(capture, HueCurve);
        return;
    case ColourStage::HighLevel:
        CorrectHighLevelFast(capture);
        return;
    case ColourStage::Severe:
        SevereCorrect(capture, capture.width(), capture.height(), probeRed, probeGreen, probeBlue);
        return;
    }
}

void ApplyColourStageReference(ColourStage stage, platform::Bitmap24& capture, int& probeRed, int& probeGreen,
                               int& probeBlue) {
    if (stage == ColourStage::Severe) {
        SevereCorrect(capture, capture.width(), capture.height(), probeRed, probeGreen, probeBlue);
        return;
    }
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
    case ColourStage::Severe:
        break;
    }
    ConvertFromHsi(capture);
    capture.assign(*HsiResultBitmap);
}
