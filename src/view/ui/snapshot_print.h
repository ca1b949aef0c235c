// Printing a snapshot page on a printer, or into a PDF file when the
// machine has no printer.
#pragma once
#include <QString>

#include <cstdint>
#include <ctime>

class QPrinter;

// Sends the printer's output to pdf_path when no printer is installed.
// True when the output goes to a PDF file.
bool UsePdfWhenNoPrinter(QPrinter& printer, const QString& pdf_path);

// Prints one page: the picture half an inch from the left and an inch from
// the top across the page's width less an inch, its caption and frame time.
bool PrintSnapshotPage(QPrinter& printer, const uint8_t* yuy2, int width, int height, bool half_height,
                       int channel_number, const char* title, const std::tm& time);
