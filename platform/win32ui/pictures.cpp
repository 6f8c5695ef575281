#include "platform/win32ui/pictures.h"

// GDI+ wants min and max from windows.h.
#include <algorithm>
using std::max;
using std::min;
// GDI+ needs the COM base types first.
#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include "platform/win32/wideText.h"

namespace pm::win32ui {

namespace {

using namespace Gdiplus;

// The installer's palette: the slate blue-grey of its windows and a deep blue.
const Color kSlate(0xB7, 0xBB, 0xC6);
const Color kSlateDark(0xA3, 0xA7, 0xB1);
const Color kSlateLight(0xD8, 0xDD, 0xEA);
const Color kDeepBlue(0x2B, 0x4A, 0x78);
const Color kBrightBlue(0x42, 0x6F, 0xB0);

Color withAlpha(const Color& c, int alpha) {
  return Color(static_cast<BYTE>(alpha), c.GetR(), c.GetG(), c.GetB());
}

RectF toRectF(const RECT& r) {
  return RectF(static_cast<REAL>(r.left), static_cast<REAL>(r.top),
               static_cast<REAL>(r.right - r.left), static_cast<REAL>(r.bottom - r.top));
}

// A vertical or horizontal gradient through several stops.
void fillGradient(Graphics& g, const RectF& r, bool vertical, std::initializer_list<Color> colors,
                  std::initializer_list<REAL> stops) {
  const PointF from(r.X, r.Y);
  const PointF to = vertical ? PointF(r.X, r.Y + r.Height + 1) : PointF(r.X + r.Width + 1, r.Y);
  LinearGradientBrush brush(from, to, *colors.begin(), *(colors.end() - 1));
  brush.SetInterpolationColors(colors.begin(), stops.begin(), static_cast<INT>(colors.size()));
  g.FillRectangle(&brush, r);
}

void text(Graphics& g, const wchar_t* s, const std::wstring& family, REAL pixels, INT style,
          const RectF& r, StringAlignment horizontal, StringAlignment vertical, const Color& c) {
  FontFamily ff(family.c_str());
  Font font(&ff, std::max<REAL>(pixels, 6), style, UnitPixel);
  StringFormat format;
  format.SetAlignment(horizontal);
  format.SetLineAlignment(vertical);
  format.SetFormatFlags(StringFormatFlagsNoWrap);
  SolidBrush brush(c);
  g.DrawString(s, -1, &font, r, &format, &brush);
}

std::wstring serif() {
  return availableFamily({L"Times New Roman", L"Liberation Serif", L"DejaVu Serif"});
}
std::wstring sans() {
  return availableFamily({L"Arial", L"Liberation Sans", L"DejaVu Sans"});
}

void installBackground(Graphics& g, const RectF& r) {
  // Lengths are those of the window at 96 DPI (549 pixels high), scaled.
  const REAL k = r.Height / 549;
  // The window's own colour at the top, where the icon and the title sit,
  // deepening towards the bottom.
  fillGradient(g, r, true, {kSlate, kSlate, kSlateDark}, {0.0f, 0.08f, 1.0f});

  // An etched rule under the title.
  const REAL y = r.Y + 40 * k;
  Pen dark(Color(0x8A, 0x8F, 0x9E), k);
  Pen light(Color(0xE4, 0xE6, 0xEC), k);
  g.DrawLine(&dark, r.X + 8 * k, y, r.X + r.Width - 9 * k, y);
  g.DrawLine(&light, r.X + 8 * k, y + k, r.X + r.Width - 9 * k, y + k);

  // Soft arcs in the lower right, behind the current-activity label.
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  for (int i = 0; i < 4; ++i) {
    Pen arc(Color(static_cast<BYTE>(46 - i * 9), 255, 255, 255), static_cast<REAL>(14 - i * 3) * k);
    const REAL d = static_cast<REAL>(260 + i * 70) * k;
    const REAL cx = r.X + r.Width - 41 * k, cy = r.Y + r.Height + 29 * k;
    g.DrawEllipse(&arc, cx - d, cy - d, 2 * d, 2 * d);
  }
}

// A rounded tile with a "P" and an upward arrow: the upgrade.
void icon(Graphics& g, const RectF& r) {
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  const RectF tile(r.X + 1.5f, r.Y + 1.5f, r.Width - 3, r.Height - 3);
  const REAL radius = tile.Width / 5;
  GraphicsPath path;
  path.AddArc(tile.X, tile.Y, 2 * radius, 2 * radius, 180, 90);
  path.AddArc(tile.X + tile.Width - 2 * radius, tile.Y, 2 * radius, 2 * radius, 270, 90);
  path.AddArc(tile.X + tile.Width - 2 * radius, tile.Y + tile.Height - 2 * radius, 2 * radius,
              2 * radius, 0, 90);
  path.AddArc(tile.X, tile.Y + tile.Height - 2 * radius, 2 * radius, 2 * radius, 90, 90);
  path.CloseFigure();
  LinearGradientBrush fill(PointF(tile.X, tile.Y),
                           PointF(tile.X + tile.Width + 1, tile.Y + tile.Height + 1),
                           Color(0x56, 0x90, 0xE5), kDeepBlue);
  g.FillPath(&fill, &path);
  Pen edge(Color(0x1F, 0x35, 0x56), 1);
  g.DrawPath(&edge, &path);

  // Centred on the space left of the arrow, in a box wider than that space:
  // GDI+ pads a line by a sixth of the font size at each end, so a box just
  // that wide would cut the letter (and Wine's GDI+ then draws none of it).
  text(g, L"P", sans(), tile.Height * 0.72f, FontStyleBold,
       RectF(tile.X - tile.Width * 0.21f, tile.Y, tile.Width * 1.2f, tile.Height),
       StringAlignmentCenter, StringAlignmentCenter, Color(255, 255, 255));

  // The arrow at the right edge.
  const REAL x = tile.X + tile.Width - tile.Width * 0.2f;
  const REAL top = tile.Y + tile.Height * 0.22f;
  const REAL bottom = tile.Y + tile.Height - tile.Height * 0.2f;
  const REAL w = tile.Width * 0.13f;
  const PointF arrow[] = {{x, top},
                          {x + w, top + w * 1.3f},
                          {x + w * 0.4f, top + w * 1.3f},
                          {x + w * 0.4f, bottom},
                          {x - w * 0.4f, bottom},
                          {x - w * 0.4f, top + w * 1.3f},
                          {x - w, top + w * 1.3f}};
  SolidBrush gold(Color(0xF2, 0xC1, 0x4E));
  g.FillPolygon(&gold, arrow, 7);
}

void splashBackground(Graphics& g, const RectF& r) {
  fillGradient(g, r, true, {kSlateLight, kSlate, Color(0x34, 0x59, 0x90)}, {0.0f, 0.55f, 1.0f});

  g.SetSmoothingMode(SmoothingModeAntiAlias);
  // A glow behind the name.
  const REAL radius = r.Width * 0.6f;
  const PointF centre(r.X + r.Width / 2, r.Y + r.Height * 0.45f);
  GraphicsPath glowPath;
  glowPath.AddEllipse(centre.X - radius, centre.Y - radius, 2 * radius, 2 * radius);
  PathGradientBrush glow(&glowPath);
  glow.SetCenterPoint(centre);
  glow.SetCenterColor(Color(110, 255, 255, 255));
  Color edge(0, 255, 255, 255);
  INT count = 1;
  glow.SetSurroundColors(&edge, &count);
  g.FillRectangle(&glow, r);

  // The installer's name in the open middle.
  g.SetTextRenderingHint(TextRenderingHintAntiAlias);
  text(g, L"Upgrade Install", serif(), r.Height / 16, FontStyleItalic,
       RectF(r.X, r.Y + r.Height * 0.33f, r.Width, r.Height * 0.1f), StringAlignmentCenter,
       StringAlignmentCenter, withAlpha(kDeepBlue, 170));
  text(g, L"Y O U R   D A T A   S T A Y S   W I T H   Y O U", sans(), r.Height / 40,
       FontStyleRegular, RectF(r.X, r.Y + r.Height * 0.43f, r.Width, r.Height * 0.05f),
       StringAlignmentCenter, StringAlignmentCenter, withAlpha(kDeepBlue, 140));

  // Three sweeping bands.
  const REAL k = r.Height / 423;  // the splash's height at 96 DPI
  for (int i = 0; i < 3; ++i) {
    const REAL y = r.Y + r.Height * (0.62f + static_cast<REAL>(i) * 0.07f);
    Pen band(Color(static_cast<BYTE>(70 - i * 18), 255, 255, 255), static_cast<REAL>(3 - i) * k);
    g.DrawBezier(&band, PointF(r.X, y), PointF(r.X + r.Width * 0.35f, y - 60 * k),
                 PointF(r.X + r.Width * 0.65f, y + 50 * k), PointF(r.X + r.Width, y - 20 * k));
  }
}

void logo(Graphics& g, const RectF& r) {
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  g.SetTextRenderingHint(TextRenderingHintAntiAlias);
  const REAL h = r.Height;
  // The emblem: a ring with a "P", at the left.
  const RectF emblem(r.X + h * 0.08f, r.Y + h * 0.08f, h * 0.84f, h * 0.84f);
  GraphicsPath ring;
  ring.AddEllipse(emblem);
  PathGradientBrush fill(&ring);
  fill.SetCenterPoint(
      PointF(emblem.X + emblem.Width / 2 - h * 0.15f, emblem.Y + emblem.Height / 2 - h * 0.15f));
  fill.SetCenterColor(Color(0x5C, 0x9B, 0xF6));
  Color outer = kDeepBlue;
  INT count = 1;
  fill.SetSurroundColors(&outer, &count);
  g.FillEllipse(&fill, emblem);
  Pen rim(Color(220, 255, 255, 255), std::max<REAL>(1, h * 0.04f));
  g.DrawEllipse(&rim, emblem);
  text(g, L"P", serif(), h * 0.6f, FontStyleBold, emblem, StringAlignmentCenter,
       StringAlignmentCenter, Color(255, 255, 255));

  // The product name with a soft shadow, a rule that fades out to the right,
  // and the version under the rule's end.
  const REAL left = emblem.X + emblem.Width + h * 0.18f;
  const RectF name(left, r.Y, r.X + r.Width - left, h * 0.72f);
  RectF shadow = name;
  shadow.Offset(2, 2);
  text(g, L"Pelmora", serif(), h * 0.6f, FontStyleBold, shadow, StringAlignmentNear,
       StringAlignmentCenter, Color(70, 0, 0, 0));
  text(g, L"Pelmora", serif(), h * 0.6f, FontStyleBold, name, StringAlignmentNear,
       StringAlignmentCenter, kDeepBlue);

  const RectF rule(left, r.Y + h * 0.74f, name.Width, std::max<REAL>(1, h * 0.035f));
  fillGradient(g, rule, false, {Color(255, 0xE0, 0xA8, 0x30), Color(0, 0xE0, 0xA8, 0x30)},
               {0.0f, 1.0f});

  text(g, L"version 1.9.5", sans(), h * 0.19f, FontStyleBold,
       RectF(left, r.Y + h * 0.79f, name.Width - h * 0.1f, h * 0.21f), StringAlignmentFar,
       StringAlignmentNear, Color(0x38, 0x60, 0x9C));
}

void dialogBackground(Graphics& g, const RectF& r) {
  LinearGradientBrush body(PointF(r.X, r.Y), PointF(r.X + r.Width + 1, r.Y + r.Height + 1),
                           Color(0xD2, 0xD7, 0xE4), Color(0xAA, 0xAD, 0xB7));
  g.FillRectangle(&body, r);
  fillGradient(g, RectF(r.X, r.Y, r.Width, 4), false,
               {Color(0x41, 0x6F, 0xB4), Color(0xC9, 0xCE, 0xDA)}, {0.0f, 1.0f});
}

void divider(Graphics& g, const RectF& r) {
  const REAL y = r.Y + static_cast<REAL>(static_cast<int>(r.Height / 2));
  fillGradient(
      g, RectF(r.X, y - 1, r.Width, 1), false,
      {Color(0, 0x40, 0x40, 0x50), Color(200, 0x40, 0x40, 0x50), Color(0, 0x40, 0x40, 0x50)},
      {0.0f, 0.5f, 1.0f});
  fillGradient(g, RectF(r.X, y, r.Width, 1), false,
               {Color(0, 255, 255, 255), Color(220, 255, 255, 255), Color(0, 255, 255, 255)},
               {0.0f, 0.5f, 1.0f});
}

}  // namespace

void startPictures() {
  static ULONG_PTR token = 0;
  if (token) return;
  GdiplusStartupInput input;
  GdiplusStartup(&token, &input, nullptr);
}

std::wstring availableFamily(std::initializer_list<const wchar_t*> candidates) {
  startPictures();
  for (const wchar_t* name : candidates) {
    FontFamily family(name);
    if (family.IsAvailable()) return name;
  }
  return *(candidates.end() - 1);
}

bool drawPicture(HDC dc, const RECT& area, const std::string& id) {
  if (area.right <= area.left || area.bottom <= area.top) return true;
  startPictures();
  Graphics g(dc);
  const RectF r = toRectF(area);
  g.SetClip(r);
  g.SetPixelOffsetMode(PixelOffsetModeHalf);
  if (id == "install.background") {
    installBackground(g, r);
  } else if (id == "install.icon") {
    icon(g, r);
  } else if (id == "splash.background") {
    splashBackground(g, r);
  } else if (id == "splash.logo") {
    logo(g, r);
  } else if (id == "dialog.background") {
    dialogBackground(g, r);
  } else if (id == "divider") {
    divider(g, r);
  } else {
    return false;
  }
  return true;
}

}  // namespace pm::win32ui
