// The pictures the monitor loads from images/: file name, size and the function painting each.
#pragma once

#include <vector>

#include <QImage>
#include <QSize>
#include <QStringList>

class QPainter;

struct Picture
{
    const char* file;  // name inside images/; the suffix chooses the format
    QSize size;
    void (*paint)(QPainter& painter, const QRectF& area);
};

// Every picture, in no particular order.
const std::vector<Picture>& Pictures();
// One picture painted on a transparent canvas (opaque for formats without alpha).
QImage PaintPicture(const Picture& picture);
// Paints every picture into dir; returns the files that could not be written.
QStringList WritePictures(const QString& dir);
// Paints the placeholder help pages into root/help (Simplified Chinese) and root/help-en,
// named in page order; returns the files that could not be written.
QStringList WriteHelpPages(const QString& root);
