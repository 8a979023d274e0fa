// frmMain: the borderless main window with its artwork, the console box, the percentage
// label, the progress bar, the two click areas and Timer1.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>

#include "updater/update/platform.h"
#include "updater/window/console_window_win32.h"
#include "updater/window/gdi_win32.h"
#include "updater/window/label_window_win32.h"
#include "updater/window/startup.h"
#include "updater/window/window_base_win32.h"

namespace window {

class FrmMain final : public WindowBase, public update::ProgressView, public StartupTimer {
public:
    struct Handlers {
        std::function<void()> tick;  // Timer1
        std::function<void()> play;  // ImgJugar
        std::function<void()> exit;  // ImgSalir
        // Whatever escapes a handler; does not return.
        std::function<void(std::exception_ptr)> failure;
    };

    FrmMain(HINSTANCE instance, ConsoleDocument& console);

    // Creates the window and its children, hidden, centred on the screen.
    void Create(Handlers handlers);
    void Show(int showCommand);
    ConsoleWindow& Console() { return m_console; }

    // ProgressView: LblPorc and ProgressBar1.
    void SetCaption(const std::string& caption) override;
    void SetBarWidthTwips(float twips) override;
    void SetBarVisible(bool visible) override;

    // StartupTimer: Timer1.
    void Enable() override;
    void Disable() override;

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnPaint();
    void OnLButtonDown(int x, int y);
    void OnLButtonUp(int x, int y);
    void Guarded(const std::function<void()>& handler);
    // The picture under a rectangle of the client area: background, then the bar's visible part.
    void DrawScene(HDC dc, const RECT& area, int originX, int originY);
    void InvalidateBar(int oldPixels, int newPixels);

    HINSTANCE m_instance;
    ConsoleWindow m_console;
    LabelWindow m_label;
    Handlers m_handlers;

    gdi::Bitmap m_background;
    gdi::Bitmap m_bar;
    gdi::Font m_labelFont;

    // As laid out: visible at full width (the load step hides it and sets it to 0).
    bool m_barVisible = true;
    int m_barPixels = layout::kBarPictureWidth;  // of the bar picture, at the bar's current width
    bool m_timerOn = false;
    layout::HitArea m_pressed = layout::HitArea::None;
};

}  // namespace window
