#include "updater/window/console_document.h"

#include <algorithm>

#include "core/utf8.h"

namespace window {
namespace {

// CR, LF and CR LF all become CR LF.
std::u16string NormaliseBreaks(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            out += u"\r\n";
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

void ConsoleDocument::ClearText() {
    m_text.clear();
    m_formats.clear();
    m_selStart = 0;
    m_selLength = 0;
}

std::size_t ConsoleDocument::SnapOutOfBreak(std::size_t position) const {
    position = std::min(position, m_text.size());
    if (position > 0 && position < m_text.size() && m_text[position - 1] == u'\r' && m_text[position] == u'\n') {
        ++position;
    }
    return position;
}

void ConsoleDocument::SetSelection(std::size_t start, std::size_t length) {
    m_selStart = SnapOutOfBreak(start);
    const std::size_t room = m_text.size() - m_selStart;
    m_selLength = SnapOutOfBreak(m_selStart + std::min(length, room)) - m_selStart;
    if (m_selStart > 0) {
        m_pending = m_formats[m_selStart - 1];
    } else if (!m_formats.empty()) {
        m_pending = m_formats.front();
    } else {
        m_pending = CharFormat{};
    }
}

void ConsoleDocument::SetSelText(const std::string& text) {
    const std::u16string inserted = NormaliseBreaks(core::Utf8ToUtf16(text));
    m_text.replace(m_selStart, m_selLength, inserted);
    const auto at = m_formats.begin() + static_cast<std::ptrdiff_t>(m_selStart);
    m_formats.erase(at, at + static_cast<std::ptrdiff_t>(m_selLength));
    m_formats.insert(m_formats.begin() + static_cast<std::ptrdiff_t>(m_selStart), inserted.size(), m_pending);
    m_selStart += inserted.size();
    m_selLength = 0;
}

void ConsoleDocument::Refresh() {
    if (m_repaint) m_repaint();
}

std::vector<ConsoleLine> ConsoleDocument::Lines() const {
    std::vector<ConsoleLine> lines;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = m_text.find(u"\r\n", begin);
        if (end == std::u16string::npos) {
            if (begin < m_text.size()) lines.push_back({m_text.substr(begin), m_formats[begin]});
            return lines;
        }
        lines.push_back({m_text.substr(begin, end - begin), m_formats[begin]});
        begin = end + 2;
    }
}

}  // namespace window
