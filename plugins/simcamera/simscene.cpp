// Synthetic scene drawing: seeded texture and shapes, the defect blob, the part's movement.
#include "simscene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QJsonValue>

#include <opencv2/imgproc.hpp>

namespace {
// One drawn shape per this many canvas pixels keeps the density the same at every size.
constexpr int kPixelsPerShape = 3500;
constexpr int kMarginDivisor = 4;
constexpr int kShadingCells = 6;
constexpr double kShadingAmplitude = 35.0;
constexpr double kGrainAmplitude = 14.0;
constexpr int kDefectEdgeBlur = 3;
constexpr double kPi = 3.14159265358979323846;

cv::Scalar randomColour(cv::RNG& rng)
{
    return cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256));
}

// Adds a one-channel float offset to every colour channel of the canvas.
void addToChannels(cv::Mat& canvas, const cv::Mat& offset)
{
    // Channel by channel: the same sums and roundings as on the three-channel float picture,
    // without building one.
    std::vector<cv::Mat> channels;
    cv::split(canvas, channels);
    cv::Mat sum;
    for (cv::Mat& channel : channels) {
        channel.convertTo(sum, CV_32F);
        sum += offset;
        sum.convertTo(channel, CV_8U);
    }
    cv::merge(channels, canvas);
}

// Large, soft brightness changes, like uneven light on a mould.
void addShading(cv::Mat& canvas, cv::RNG& rng)
{
    cv::Mat cells(kShadingCells, kShadingCells, CV_32F);
    rng.fill(cells, cv::RNG::UNIFORM, -kShadingAmplitude, kShadingAmplitude);
    cv::Mat shading;
    cv::resize(cells, shading, canvas.size(), 0, 0, cv::INTER_CUBIC);
    addToChannels(canvas, shading);
}

void drawShapes(cv::Mat& canvas, cv::RNG& rng)
{
    const int count = std::max(20, canvas.cols * canvas.rows / kPixelsPerShape);
    const int maxSize = std::max(12, std::min(canvas.cols, canvas.rows) / 10);
    for (int i = 0; i < count; ++i) {
        const cv::Point centre(rng.uniform(0, canvas.cols), rng.uniform(0, canvas.rows));
        const int size = rng.uniform(4, maxSize);
        const cv::Scalar colour = randomColour(rng);
        const int thickness = rng.uniform(0, 3) == 0 ? rng.uniform(1, 4) : cv::FILLED;
        switch (rng.uniform(0, 5)) {
            case 0:
                cv::rectangle(canvas, cv::Rect(centre.x - size / 2, centre.y - size / 3, size, size * 2 / 3 + 1),
                              colour, thickness, cv::LINE_AA);
                break;
            case 1:
                cv::circle(canvas, centre, size / 2, colour, thickness, cv::LINE_AA);
                break;
            case 2:
                cv::ellipse(canvas, centre, cv::Size(size / 2 + 1, size / 4 + 1), rng.uniform(0, 180), 0, 360, colour,
                            thickness, cv::LINE_AA);
                break;
            case 3:
                cv::line(canvas, centre, centre + cv::Point(rng.uniform(-size, size), rng.uniform(-size, size)), colour,
                         rng.uniform(1, 5), cv::LINE_AA);
                break;
            default: {
                std::vector<cv::Point> corners;
                for (int k = 0; k < 3; ++k)
                    corners.push_back(centre + cv::Point(rng.uniform(-size, size), rng.uniform(-size, size)));
                cv::fillConvexPoly(canvas, corners, colour, cv::LINE_AA);
                break;
            }
        }
    }
}

// Fine grain so that feature detectors find corners inside flat shapes as well.
void addGrain(cv::Mat& canvas, cv::RNG& rng)
{
    cv::Mat grain(canvas.size(), CV_32F);
    rng.fill(grain, cv::RNG::UNIFORM, -kGrainAmplitude, kGrainAmplitude);
    cv::GaussianBlur(grain, grain, cv::Size(3, 3), 0);
    addToChannels(canvas, grain);
}

void drawDefect(cv::Mat& canvas, const SimSceneOptions& o, int margin)
{
    const int x = (o.defectX < 0 ? o.width / 2 : o.defectX) + margin;
    const int y = (o.defectY < 0 ? o.height / 2 : o.defectY) + margin;
    cv::Mat mask = cv::Mat::zeros(canvas.size(), CV_8U);
    cv::circle(mask, cv::Point(x, y), std::max(1, o.defectRadius), cv::Scalar(255), cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(mask, mask, cv::Size(kDefectEdgeBlur, kDefectEdgeBlur), 0);
    const cv::Mat blob(canvas.size(), CV_8UC3, cv::Scalar::all(o.defectLevel));
    cv::Mat weight;
    cv::merge(std::vector<cv::Mat>(3, mask), weight);
    weight.convertTo(weight, CV_32FC3, 1.0 / 255.0);
    cv::Mat base, spot;
    canvas.convertTo(base, CV_32FC3);
    blob.convertTo(spot, CV_32FC3);
    const cv::Mat mixed = base.mul(cv::Scalar::all(1.0) - weight) + spot.mul(weight);
    mixed.convertTo(canvas, CV_8UC3);
}

bool isIdentity(const cv::Mat& h)
{
    return cv::norm(h, cv::Mat::eye(3, 3, CV_64F), cv::NORM_INF) < 1e-12;
}

double numberOr(const QJsonObject& json, const char* key, double fallback)
{
    return json.value(key).toDouble(fallback);
}
}  // namespace

SimSceneOptions SimSceneOptions::fromJson(const QJsonObject& json, const SimSceneOptions& base)
{
    SimSceneOptions o = base;
    o.width = json.value("width").toInt(o.width);
    o.height = json.value("height").toInt(o.height);
    o.seed = quint32(numberOr(json, "seed", o.seed));
    o.color = json.value("color").toBool(o.color);
    const QJsonValue defect = json.value("defect");
    if (defect.isBool()) {
        o.defect = defect.toBool();
    } else if (defect.isObject()) {
        const QJsonObject d = defect.toObject();
        o.defect = true;
        o.defectX = d.value("x").toInt(o.defectX);
        o.defectY = d.value("y").toInt(o.defectY);
        o.defectRadius = d.value("radius").toInt(o.defectRadius);
        o.defectLevel = d.value("level").toInt(o.defectLevel);
    }
    o.shiftX = numberOr(json, "shiftX", o.shiftX);
    o.shiftY = numberOr(json, "shiftY", o.shiftY);
    o.rotation = numberOr(json, "rotation", o.rotation);
    o.perspective = numberOr(json, "perspective", o.perspective);
    o.noise = numberOr(json, "noise", o.noise);
    return o;
}

SimSceneOptions SimSceneOptions::fromJson(const QJsonObject& json)
{
    return fromJson(json, SimSceneOptions());
}

int SimScene::margin(const SimSceneOptions& options)
{
    return std::max(options.width, options.height) / kMarginDivisor;
}

cv::Mat SimScene::canvas(const SimSceneOptions& options)
{
    const int m = margin(options);
    cv::RNG rng(options.seed);
    cv::Mat canvas(options.height + 2 * m, options.width + 2 * m, CV_8UC3,
                   cv::Scalar(rng.uniform(90, 160), rng.uniform(90, 160), rng.uniform(90, 160)));
    addShading(canvas, rng);
    drawShapes(canvas, rng);
    addGrain(canvas, rng);
    if (options.defect)
        drawDefect(canvas, options, m);
    return canvas;
}

cv::Mat SimScene::homography(const SimSceneOptions& o)
{
    const double w = o.width;
    const double h = o.height;
    const double inset = o.perspective * w;
    const cv::Point2f from[4] = {{0, 0}, {float(w), 0}, {float(w), float(h)}, {0, float(h)}};
    const cv::Point2f to[4] = {{float(inset), 0}, {float(w - inset), 0}, {float(w), float(h)}, {0, float(h)}};
    cv::Mat perspective = cv::getPerspectiveTransform(from, to);

    // Counter-clockwise on screen, where y points down.
    const double a = o.rotation * kPi / 180.0;
    const double cx = w / 2.0;
    const double cy = h / 2.0;
    const double c = std::cos(a);
    const double s = std::sin(a);
    cv::Mat rotation = (cv::Mat_<double>(3, 3) << c, s, cx - c * cx - s * cy, -s, c, cy + s * cx - c * cy, 0, 0, 1);
    cv::Mat shift = (cv::Mat_<double>(3, 3) << 1, 0, o.shiftX, 0, 1, o.shiftY, 0, 0, 1);
    return shift * rotation * perspective;
}

cv::Mat SimScene::render(const SimSceneOptions& o, const cv::Mat& canvasIn)
{
    const cv::Mat source = canvasIn.empty() ? canvas(o) : canvasIn;
    const int m = margin(o);
    const cv::Mat h = homography(o);
    cv::Mat frame;
    if (isIdentity(h)) {
        source(cv::Rect(m, m, o.width, o.height)).copyTo(frame);
    } else {
        const cv::Mat fromCanvas = (cv::Mat_<double>(3, 3) << 1, 0, -m, 0, 1, -m, 0, 0, 1);
        cv::warpPerspective(source, frame, h * fromCanvas, cv::Size(o.width, o.height), cv::INTER_LINEAR,
                            cv::BORDER_REPLICATE);
    }
    if (!o.color)
        cv::cvtColor(frame, frame, cv::COLOR_BGR2GRAY);
    if (o.noise > 0) {
        cv::Mat noise(frame.size(), CV_32FC(frame.channels()));
        cv::RNG rng(o.seed * 2654435761u + o.noiseSeed);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, o.noise);
        cv::Mat sum;
        frame.convertTo(sum, CV_32F);
        sum += noise;
        sum.convertTo(frame, frame.type());
    }
    if (o.color)
        cv::cvtColor(frame, frame, cv::COLOR_BGR2BGRA);
    return frame;
}

QImage SimScene::renderImage(const SimSceneOptions& options)
{
    return toImage(render(options));
}

QImage SimScene::toImage(const cv::Mat& frame)
{
    cv::Mat bgra;
    QImage::Format format = QImage::Format_RGB32;
    if (frame.type() == CV_8UC1) {
        bgra = frame;
        format = QImage::Format_Grayscale8;
    } else if (frame.type() == CV_8UC3) {
        cv::cvtColor(frame, bgra, cv::COLOR_BGR2BGRA);
    } else if (frame.type() == CV_8UC4) {
        bgra = frame;
    } else {
        return QImage();
    }
    QImage image(bgra.cols, bgra.rows, format);
    const size_t rowBytes = size_t(bgra.cols) * bgra.elemSize();
    for (int y = 0; y < bgra.rows; ++y) std::memcpy(image.scanLine(y), bgra.ptr(y), rowBytes);
    if (format == QImage::Format_RGB32) {
        // Format_RGB32 requires the fourth byte to be 0xFF.
        for (int y = 0; y < image.height(); ++y) {
            uchar* row = image.scanLine(y);
            for (int x = 0; x < image.width(); ++x) row[x * 4 + 3] = 0xFF;
        }
    }
    return image;
}
