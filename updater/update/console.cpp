#include "updater/update/console.h"

namespace update {

void AppendConsoleLine(RichTextBox& box, const std::string& text, std::uint32_t color, bool bold, bool italic) {
    if (box.TextLength() > kConsoleLimit) box.ClearText();
    box.SetSelection(box.TextLength(), 0);
    box.SetSelBold(bold);
    box.SetSelItalic(italic);
    box.SetSelColor(color);
    box.SetSelAlignment(Alignment::Center);
    box.SetSelText(text + "\r\n");
    box.Refresh();
}

}  // namespace update
