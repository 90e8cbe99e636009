#include "lens/RepeatedFrame.h"

void RepeatedFrame::setEnabled(bool enabled) {
    m_enabled = enabled;
    forget();
}

bool RepeatedFrame::repeatsUnread(const FrameInputs& inputs, std::int64_t picture, std::int64_t capture,
                                  bool screenUnchanged, FrameOutputs& outputs) {
    if (!m_enabled || !m_valid || !m_settled || !screenUnchanged || picture != m_picture ||
        capture != m_captureKey || inputs != m_inputs)
        return false;
    outputs = m_outputs;
    ++m_count;
    return true;
}

bool RepeatedFrame::repeats(const FrameInputs& inputs, std::int64_t picture, platform::Bitmap24& capture,
                            FrameOutputs& outputs) {
    if (!m_enabled)
        return false;
    bool same = m_valid && m_kept && picture == m_picture && inputs == m_inputs &&
                m_capture.width() == capture.width() && m_capture.height() == capture.height();
    // The cursor or the lens moved in this frame and the one before: the
    // next frame will most likely find them moved again. Its capture is not
    // kept for a comparison that would not come; should they stop here, the
    // next frame does its work and keeps it.
    const bool moved = inputs.cursorX != m_inputs.cursorX || inputs.cursorY != m_inputs.cursorY ||
                       !(inputs.lensRect == m_inputs.lensRect);
    const bool keep = !(moved && m_moving);
    m_moving = moved;
    m_valid = m_settled = false;
    m_inputs = inputs;
    if (!same) {
        m_kept = keep;
        if (keep)
            m_capture.assign(capture);
        return false;
    }
    // Compared and, from the first row that differs, copied in one pass.
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(capture.width());
    for (int y = 0; y < capture.height(); ++y) {
        const std::uint8_t* row = capture.scanLine(y);
        if (same && std::memcmp(row, m_capture.scanLine(y), rowBytes) == 0)
            continue;
        same = false;
        std::memcpy(m_capture.scanLine(y), row, rowBytes);
    }
    if (!same)
        return false;
    if (m_rewritten)
        capture.assign(m_result);
    outputs = m_outputs;
    m_valid = m_settled = true;
    ++m_count;
    return true;
}

void RepeatedFrame::remember(const platform::Bitmap24& capture, bool rewritten, const FrameOutputs& outputs) {
    if (!m_enabled)
        return;
    m_rewritten = rewritten;
    // Without the capture kept, the next frame cannot be a repeat: the
    // result would not be asked for.
    if (rewritten && m_kept)
        m_result.assign(capture);
    m_outputs = outputs;
    m_valid = true;
}

void RepeatedFrame::shown(std::int64_t picture) {
    if (m_valid)
        m_picture = picture;
}
