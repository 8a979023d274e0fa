#include "tools/parchear/refusal.h"

#include "updater/unzip/entry_name.h"

namespace parchear {

std::string Quoted(std::string_view path) {
    std::string out = "«";
    out += unzip::Printable(path);
    out += "»";
    return out;
}

Progress::Progress(std::ostream& out, std::string label, std::uint64_t total, std::uint64_t threshold)
    : m_out(out), m_label(std::move(label)), m_total(total), m_enabled(total > 0 && total >= threshold) {}

void Progress::Advance(std::uint64_t amount) {
    if (!m_enabled) return;
    m_done = amount > m_total - m_done ? m_total : m_done + amount;
    const int tenths = static_cast<int>(m_done * 10 / m_total);
    if (tenths <= m_tenths) return;
    m_tenths = tenths;
    m_out << "  " << m_label << ": " << tenths * 10 << " %" << std::endl;
}

}  // namespace parchear
