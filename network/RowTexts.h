#pragma once

#include "network/IpAddressRow.h"

#include <QString>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace qv {

// The texts of the address rows, by row and column. Each cell names a stored text, so that a text
// that many rows share (an interface's number, description and MACs, a look-up failure) is stored
// once: filling and dropping a long list then costs an index per cell, and a writer converts each
// text once. Replaced texts stay stored until Compact finds that more than half are unused.
class RowTexts {
  public:
    using TextId = std::uint32_t;
    static constexpr TextId kEmpty = 0;  // every cell before it is set

    RowTexts() : m_texts(1) {}

    // Drops all rows and texts, then holds `rows` empty rows.
    void Reset(std::size_t rows);
    // Stores a text for cells to name; the id holds until the next Reset or Compact.
    TextId Add(QString text) {
        if (text.isEmpty()) {
            return kEmpty;
        }
        m_texts.push_back(std::move(text));
        return static_cast<TextId>(m_texts.size() - 1);
    }
    // Names `text` in a cell; the table grows to hold the row.
    void Put(std::size_t row, InfoColumn col, TextId text) {
        if (row >= m_rows.size()) {
            m_rows.resize(row + 1);
        }
        m_rows[row][static_cast<std::size_t>(col)] = text;
    }
    void Set(std::size_t row, InfoColumn col, QString text) { Put(row, col, Add(std::move(text))); }
    // At least `rows` rows, and room for `texts` more texts.
    void Prepare(std::size_t rows, std::size_t texts) {
        if (m_rows.size() < rows) {
            m_rows.resize(rows);
        }
        m_texts.reserve(m_texts.size() + texts);
    }
    // Frees the texts no cell names, once they are the greater part; ids taken before are void.
    void Compact();

    std::size_t Rows() const { return m_rows.size(); }
    TextId Id(std::size_t row, InfoColumn col) const {
        return row < m_rows.size() ? m_rows[row][static_cast<std::size_t>(col)] : kEmpty;
    }
    // The empty text outside the rows.
    const QString& At(std::size_t row, InfoColumn col) const { return m_texts[Id(row, col)]; }
    const QString& Text(TextId id) const { return m_texts[id]; }
    std::size_t TextCount() const { return m_texts.size(); }

  private:
    std::vector<QString> m_texts;  // by id; id 0 is the empty text
    std::vector<std::array<TextId, kColumnCount>> m_rows;
};

}  // namespace qv
