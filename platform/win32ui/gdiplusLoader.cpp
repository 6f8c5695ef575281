// GDI+ from the system folder. gdiplus.dll is not one of the system's known
// DLLs, so it is never imported (the loader would look beside the program
// first, where a planted copy could wait): the flat functions that the GDI+
// classes call are defined here and forward to the DLL that SystemLibrary
// loads from the system folder. A function that cannot be found fails as GDI+
// does before it has been started, and the picture is not drawn.
#include <algorithm>
using std::max;
using std::min;
// GDI+ needs the COM base types first.
#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include "platform/win32/systemLibrary.h"

namespace {

pm::win32::SystemLibrary& gdiplus() {
  static pm::win32::SystemLibrary library(L"gdiplus.dll");
  return library;
}

}  // namespace

namespace Gdiplus {

extern "C" {

GpStatus WINGDIPAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                                   GdiplusStartupOutput* output) {
  using F = GpStatus(WINGDIPAPI*)(ULONG_PTR*, const GdiplusStartupInput*, GdiplusStartupOutput*);
  static const F f = gdiplus().function<F>("GdiplusStartup");
  return f ? f(token, input, output) : GdiplusNotInitialized;
}

namespace DllExports {

GpStatus WINGDIPAPI GdipAddPathArc(GpPath* a0, REAL a1, REAL a2, REAL a3, REAL a4, REAL a5,
                                   REAL a6) {
  using F = GpStatus(WINGDIPAPI*)(GpPath*, REAL, REAL, REAL, REAL, REAL, REAL);
  static const F f = gdiplus().function<F>("GdipAddPathArc");
  return f ? f(a0, a1, a2, a3, a4, a5, a6) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipAddPathEllipse(GpPath* a0, REAL a1, REAL a2, REAL a3, REAL a4) {
  using F = GpStatus(WINGDIPAPI*)(GpPath*, REAL, REAL, REAL, REAL);
  static const F f = gdiplus().function<F>("GdipAddPathEllipse");
  return f ? f(a0, a1, a2, a3, a4) : GdiplusNotInitialized;
}

VOID* WINGDIPAPI GdipAlloc(size_t a0) {
  using F = VOID*(WINGDIPAPI*)(size_t);
  static const F f = gdiplus().function<F>("GdipAlloc");
  return f ? f(a0) : nullptr;
}

GpStatus WINGDIPAPI GdipCloneBrush(GpBrush* a0, GpBrush** a1) {
  using F = GpStatus(WINGDIPAPI*)(GpBrush*, GpBrush**);
  static const F f = gdiplus().function<F>("GdipCloneBrush");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipClosePathFigure(GpPath* a0) {
  using F = GpStatus(WINGDIPAPI*)(GpPath*);
  static const F f = gdiplus().function<F>("GdipClosePathFigure");
  return f ? f(a0) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipCreateFont(GDIPCONST GpFontFamily* a0, REAL a1, INT a2, Unit a3,
                                   GpFont** a4) {
  using F = GpStatus(WINGDIPAPI*)(GDIPCONST GpFontFamily*, REAL, INT, Unit, GpFont**);
  static const F f = gdiplus().function<F>("GdipCreateFont");
  return f ? f(a0, a1, a2, a3, a4) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipCreateFontFamilyFromName(GDIPCONST WCHAR* a0, GpFontCollection* a1,
                                                 GpFontFamily** a2) {
  using F = GpStatus(WINGDIPAPI*)(GDIPCONST WCHAR*, GpFontCollection*, GpFontFamily**);
  static const F f = gdiplus().function<F>("GdipCreateFontFamilyFromName");
  return f ? f(a0, a1, a2) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipCreateFromHDC(HDC a0, GpGraphics** a1) {
  using F = GpStatus(WINGDIPAPI*)(HDC, GpGraphics**);
  static const F f = gdiplus().function<F>("GdipCreateFromHDC");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipCreateLineBrush(GDIPCONST GpPointF* a0, GDIPCONST GpPointF* a1, ARGB a2,
                                        ARGB a3, GpWrapMode a4, GpLineGradient** a5) {
  using F = GpStatus(WINGDIPAPI*)(GDIPCONST GpPointF*, GDIPCONST GpPointF*, ARGB, ARGB, GpWrapMode,
                                  GpLineGradient**);
  static const F f = gdiplus().function<F>("GdipCreateLineBrush");
  return f ? f(a0, a1, a2, a3, a4, a5) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipCreatePath(GpFillMode a0, GpPath** a1) {
  using F = GpStatus(WINGDIPAPI*)(GpFillMode, GpPath**);
  static const F f = gdiplus().function<F>("GdipCreatePath");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipCreatePathGradientFromPath(GDIPCONST GpPath* a0, GpPathGradient** a1) {
  using F = GpStatus(WINGDIPAPI*)(GDIPCONST GpPath*, GpPathGradient**);
  static const F f = gdiplus().function<F>("GdipCreatePathGradientFromPath");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipCreatePen1(ARGB a0, REAL a1, GpUnit a2, GpPen** a3) {
  using F = GpStatus(WINGDIPAPI*)(ARGB, REAL, GpUnit, GpPen**);
  static const F f = gdiplus().function<F>("GdipCreatePen1");
  return f ? f(a0, a1, a2, a3) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipCreateSolidFill(ARGB a0, GpSolidFill** a1) {
  using F = GpStatus(WINGDIPAPI*)(ARGB, GpSolidFill**);
  static const F f = gdiplus().function<F>("GdipCreateSolidFill");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipCreateStringFormat(INT a0, LANGID a1, GpStringFormat** a2) {
  using F = GpStatus(WINGDIPAPI*)(INT, LANGID, GpStringFormat**);
  static const F f = gdiplus().function<F>("GdipCreateStringFormat");
  return f ? f(a0, a1, a2) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDeleteBrush(GpBrush* a0) {
  using F = GpStatus(WINGDIPAPI*)(GpBrush*);
  static const F f = gdiplus().function<F>("GdipDeleteBrush");
  return f ? f(a0) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDeleteFont(GpFont* a0) {
  using F = GpStatus(WINGDIPAPI*)(GpFont*);
  static const F f = gdiplus().function<F>("GdipDeleteFont");
  return f ? f(a0) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDeleteFontFamily(GpFontFamily* a0) {
  using F = GpStatus(WINGDIPAPI*)(GpFontFamily*);
  static const F f = gdiplus().function<F>("GdipDeleteFontFamily");
  return f ? f(a0) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDeleteGraphics(GpGraphics* a0) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*);
  static const F f = gdiplus().function<F>("GdipDeleteGraphics");
  return f ? f(a0) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDeletePath(GpPath* a0) {
  using F = GpStatus(WINGDIPAPI*)(GpPath*);
  static const F f = gdiplus().function<F>("GdipDeletePath");
  return f ? f(a0) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDeletePen(GpPen* a0) {
  using F = GpStatus(WINGDIPAPI*)(GpPen*);
  static const F f = gdiplus().function<F>("GdipDeletePen");
  return f ? f(a0) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDeleteStringFormat(GpStringFormat* a0) {
  using F = GpStatus(WINGDIPAPI*)(GpStringFormat*);
  static const F f = gdiplus().function<F>("GdipDeleteStringFormat");
  return f ? f(a0) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDrawBezier(GpGraphics* a0, GpPen* a1, REAL a2, REAL a3, REAL a4, REAL a5,
                                   REAL a6, REAL a7, REAL a8, REAL a9) {
  using F =
      GpStatus(WINGDIPAPI*)(GpGraphics*, GpPen*, REAL, REAL, REAL, REAL, REAL, REAL, REAL, REAL);
  static const F f = gdiplus().function<F>("GdipDrawBezier");
  return f ? f(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDrawEllipse(GpGraphics* a0, GpPen* a1, REAL a2, REAL a3, REAL a4, REAL a5) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, GpPen*, REAL, REAL, REAL, REAL);
  static const F f = gdiplus().function<F>("GdipDrawEllipse");
  return f ? f(a0, a1, a2, a3, a4, a5) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDrawLine(GpGraphics* a0, GpPen* a1, REAL a2, REAL a3, REAL a4, REAL a5) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, GpPen*, REAL, REAL, REAL, REAL);
  static const F f = gdiplus().function<F>("GdipDrawLine");
  return f ? f(a0, a1, a2, a3, a4, a5) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDrawPath(GpGraphics* a0, GpPen* a1, GpPath* a2) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, GpPen*, GpPath*);
  static const F f = gdiplus().function<F>("GdipDrawPath");
  return f ? f(a0, a1, a2) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipDrawString(GpGraphics* a0, GDIPCONST WCHAR* a1, INT a2,
                                   GDIPCONST GpFont* a3, GDIPCONST RectF* a4,
                                   GDIPCONST GpStringFormat* a5, GDIPCONST GpBrush* a6) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, GDIPCONST WCHAR*, INT, GDIPCONST GpFont*,
                                  GDIPCONST RectF*, GDIPCONST GpStringFormat*, GDIPCONST GpBrush*);
  static const F f = gdiplus().function<F>("GdipDrawString");
  return f ? f(a0, a1, a2, a3, a4, a5, a6) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipFillEllipse(GpGraphics* a0, GpBrush* a1, REAL a2, REAL a3, REAL a4,
                                    REAL a5) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, GpBrush*, REAL, REAL, REAL, REAL);
  static const F f = gdiplus().function<F>("GdipFillEllipse");
  return f ? f(a0, a1, a2, a3, a4, a5) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipFillPath(GpGraphics* a0, GpBrush* a1, GpPath* a2) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, GpBrush*, GpPath*);
  static const F f = gdiplus().function<F>("GdipFillPath");
  return f ? f(a0, a1, a2) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipFillPolygon(GpGraphics* a0, GpBrush* a1, GDIPCONST GpPointF* a2, INT a3,
                                    GpFillMode a4) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, GpBrush*, GDIPCONST GpPointF*, INT, GpFillMode);
  static const F f = gdiplus().function<F>("GdipFillPolygon");
  return f ? f(a0, a1, a2, a3, a4) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipFillRectangle(GpGraphics* a0, GpBrush* a1, REAL a2, REAL a3, REAL a4,
                                      REAL a5) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, GpBrush*, REAL, REAL, REAL, REAL);
  static const F f = gdiplus().function<F>("GdipFillRectangle");
  return f ? f(a0, a1, a2, a3, a4, a5) : GdiplusNotInitialized;
}

VOID WINGDIPAPI GdipFree(VOID* a0) {
  using F = VOID(WINGDIPAPI*)(VOID*);
  static const F f = gdiplus().function<F>("GdipFree");
  if (f) f(a0);
}

GpStatus WINGDIPAPI GdipSetClipRect(GpGraphics* a0, REAL a1, REAL a2, REAL a3, REAL a4,
                                    CombineMode a5) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, REAL, REAL, REAL, REAL, CombineMode);
  static const F f = gdiplus().function<F>("GdipSetClipRect");
  return f ? f(a0, a1, a2, a3, a4, a5) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipSetLinePresetBlend(GpLineGradient* a0, GDIPCONST ARGB* a1,
                                           GDIPCONST REAL* a2, INT a3) {
  using F = GpStatus(WINGDIPAPI*)(GpLineGradient*, GDIPCONST ARGB*, GDIPCONST REAL*, INT);
  static const F f = gdiplus().function<F>("GdipSetLinePresetBlend");
  return f ? f(a0, a1, a2, a3) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipSetPathGradientCenterColor(GpPathGradient* a0, ARGB a1) {
  using F = GpStatus(WINGDIPAPI*)(GpPathGradient*, ARGB);
  static const F f = gdiplus().function<F>("GdipSetPathGradientCenterColor");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipSetPathGradientCenterPoint(GpPathGradient* a0, GDIPCONST GpPointF* a1) {
  using F = GpStatus(WINGDIPAPI*)(GpPathGradient*, GDIPCONST GpPointF*);
  static const F f = gdiplus().function<F>("GdipSetPathGradientCenterPoint");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipSetPathGradientSurroundColorsWithCount(GpPathGradient* a0,
                                                               GDIPCONST ARGB* a1, INT* a2) {
  using F = GpStatus(WINGDIPAPI*)(GpPathGradient*, GDIPCONST ARGB*, INT*);
  static const F f = gdiplus().function<F>("GdipSetPathGradientSurroundColorsWithCount");
  return f ? f(a0, a1, a2) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipSetPixelOffsetMode(GpGraphics* a0, PixelOffsetMode a1) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, PixelOffsetMode);
  static const F f = gdiplus().function<F>("GdipSetPixelOffsetMode");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipSetSmoothingMode(GpGraphics* a0, SmoothingMode a1) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, SmoothingMode);
  static const F f = gdiplus().function<F>("GdipSetSmoothingMode");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipSetStringFormatAlign(GpStringFormat* a0, StringAlignment a1) {
  using F = GpStatus(WINGDIPAPI*)(GpStringFormat*, StringAlignment);
  static const F f = gdiplus().function<F>("GdipSetStringFormatAlign");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipSetStringFormatFlags(GpStringFormat* a0, INT a1) {
  using F = GpStatus(WINGDIPAPI*)(GpStringFormat*, INT);
  static const F f = gdiplus().function<F>("GdipSetStringFormatFlags");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipSetStringFormatLineAlign(GpStringFormat* a0, StringAlignment a1) {
  using F = GpStatus(WINGDIPAPI*)(GpStringFormat*, StringAlignment);
  static const F f = gdiplus().function<F>("GdipSetStringFormatLineAlign");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

GpStatus WINGDIPAPI GdipSetTextRenderingHint(GpGraphics* a0, TextRenderingHint a1) {
  using F = GpStatus(WINGDIPAPI*)(GpGraphics*, TextRenderingHint);
  static const F f = gdiplus().function<F>("GdipSetTextRenderingHint");
  return f ? f(a0, a1) : GdiplusNotInitialized;
}

}  // namespace DllExports

}  // extern "C"

}  // namespace Gdiplus
