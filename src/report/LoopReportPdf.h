#pragma once
// The loop-check record written to a file in any of its formats: PDF laid
// out by Qt's own PDF writer from the record's HTML, HTML and CSV as the
// core writes them. The window and velmoractl call the same functions.
//
// This folder is the one piece outside the widgets that needs Qt: Qt GUI
// (QPdfWriter, QTextDocument, the fonts), not Qt Widgets. velmoractl links
// it, and a program without a QGuiApplication gets one on the offscreen
// platform for the time a PDF is made.
//
// Thread contract: the thread that owns the QGuiApplication (the window's UI
// thread), or, where there is none, one thread at a time (velmoractl's).

#include <string>

#include "loopcheck/LoopReport.h"

namespace velmora {

// The record as PDF: A4 portrait, 15 mm margins, the fonts embedded, every
// page's foot naming the tag, the results and the page. Empty, with `why`
// set, when no PDF can be made here (no offscreen platform plug-in).
std::string LoopReportPdf(const LoopReport& report, std::string& why);

// Writes the record to `path` in the format its extension names, replacing
// any file there only once the whole record is written (AtomicFile.h).
LoopReportWrite WriteLoopReport(const LoopReport& report, const std::string& path);

} // namespace velmora
