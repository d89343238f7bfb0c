// Free helpers of the core used by the record store and the recogniser.
#pragma once

// ---------------------------------------------------------------------------------------
// SQL column utilities: add a column to a table of an older database that lacks it.
// ---------------------------------------------------------------------------------------

#include <QSqlDatabase>
#include <QString>

// True when the table has a column of exactly this name (case-sensitive). A missing table
// gives false; a failed statement logs a warning and gives false.
bool columnExists(QSqlDatabase& db, const QString& table, const QString& column);
// Adds the column unless it exists. True only when it was added; false when it was already
// there or the statement failed (with a warning in the log).
bool addColumnIfNotExists(QSqlDatabase& db, const QString& table, const QString& column, const QString& type);

// ---------------------------------------------------------------------------------------
// Image conversions and geometry: grey and hue of camera frames, grey to colour, shifting
// and rotating pictures for position correction, touch and screen-range tests of the
// region editor. Colour pixels are one 32-bit int each; the conversions weigh byte 0 as
// red, byte 1 as green, byte 2 as blue and never read byte 3.
// ---------------------------------------------------------------------------------------

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QVector>

#include <opencv2/core.hpp>

// Fixed-point weights, three runs of 256 (byte 0, byte 1, byte 2): floor(i * w * 1024).
extern const int gaRGB2Gray[768];

// Grey = weighted table sum / 1024; RGBA2Gray is the name the recogniser calls it by.
void RGB2Gray(unsigned char* dst, int* src, int w, int h);
void RGBA2Gray(unsigned char* dst, int* src, int w, int h);
void RGBA2Hue(unsigned char* dst, int* src, int w, int h);
// Hue on a 0..255 circle, 42.5 steps per sixth; grey and black give 0.
unsigned char RGB2HueByte(unsigned char r, unsigned char g, unsigned char b);
void Gray2RGBA(unsigned char* src, int* dst, int w, int h);
// A picture of its own made from a camera buffer's packed rows (w x bytesPerPixel bytes each),
// for saving: Qt's writers read every row padded to 4 bytes, past the end of a buffer of 8-bit
// rows whose width is no multiple of 4. 4 bytes per pixel give RGB32, 1 gives 8-bit indexed
// with `colours` as its table (none when empty).
QImage PackedRowsImage(const unsigned char* rows, int w, int h, int bytesPerPixel, const QVector<QRgb>& colours = {});

// 8-bit one-channel pictures. MoveImage moves the content by (+dx, +dy) and fills the rest
// with 0; TransformImage shifts by offset, then rotates by angle degrees about centre.
void MoveImage(cv::Mat src, cv::Mat& dst, int dx, int dy);
void TransformImage(cv::Mat src, cv::Mat& dst, cv::Point offset, cv::Point centre, double angle);

// Touch tests; the tolerance is clamped to 3..50 display units.
bool PointAround(QPoint a, QPoint b, int tolerance);
bool LineAround(int a, int b, int tolerance);
bool LineAround(int a, int b, int c, int lo, int hi, int tolerance);
// Keeps a display coordinate (x when horizontal is non-zero) or rectangle 3 units inside the
// gShowW x gShowH canvas; the unnamed ints are not read.
void CheckInRange(int* v, int horizontal, int, int);
void CheckInRange(QRect* r, int, int, bool keepSize);
