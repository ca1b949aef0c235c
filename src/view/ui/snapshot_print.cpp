#include "view/ui/snapshot_print.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "view/snapshot.h"

bool UsePdfWhenNoPrinter(QPrinter& printer, const QString& pdf_path) {
  if (!QPrinterInfo::availablePrinterNames().isEmpty()) return false;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf_path);
  return true;
}

bool PrintSnapshotPage(QPrinter& printer, const uint8_t* yuy2, int width, int height, bool half_height,
                       int channel_number, const char* title, const std::tm& time) {
  printer.setDocName("Printing snapshot..");
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const QRect rect = SnapshotPrintRect(printer.width(), printer.logicalDpiX(), printer.logicalDpiY(), width, height,
                                       half_height);
  PrintSnapshot(painter, rect, yuy2, width, height, channel_number, title, time);
  return painter.end();
}
