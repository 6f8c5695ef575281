// The installer's pictures, drawn with GDI+ at whatever size a control or a
// window has (so they stay sharp at every DPI): backgrounds, the window icon,
// the product logo and a divider. The same pictures as the Qt front end draws.
#pragma once

#include <windows.h>

#include <string>

namespace pm::win32ui {

// Starts GDI+ for the process (once; later calls do nothing).
void startPictures();

// Draws the picture `id` (see platform/ui.h) into `area` of `dc`. Returns false
// for an unknown id (nothing drawn).
bool drawPicture(HDC dc, const RECT& area, const std::string& id);

// The first of `candidates` that the system has as a font family, else the last.
std::wstring availableFamily(std::initializer_list<const wchar_t*> candidates);

}  // namespace pm::win32ui
