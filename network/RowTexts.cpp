#include "network/RowTexts.h"

namespace qv {

void RowTexts::Reset(std::size_t rows) {
    // Fresh tables rather than cleared ones: a short list after a long one (a storm of addresses)
    // does not keep the long one's room.
    m_texts = std::vector<QString>(1);
    m_rows = std::vector<std::array<TextId, kColumnCount>>(rows);
}

void RowTexts::Compact() {
    const std::size_t cells = m_rows.size() * kColumnCount;
    if (m_texts.size() <= 2 * cells + 64) {
        return;  // few enough: a text no longer used costs less than a pass over every cell
    }
    std::vector<TextId> moved(m_texts.size(), kEmpty);
    std::vector<QString> kept(1);
    for (auto& row : m_rows) {
        for (TextId& id : row) {
            if (id != kEmpty && moved[id] == kEmpty) {
                moved[id] = static_cast<TextId>(kept.size());
                kept.push_back(std::move(m_texts[id]));
            }
            id = moved[id];
        }
    }
    m_texts = std::move(kept);
}

}  // namespace qv
