// The text a widget paints, as its paint engine receives it: after the
// style has cut what does not fit, so that a test reads what the player
// sees, not what the program meant to show.
#pragma once

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRect>
#include <QTextItem>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace tamboro::test {

// One run of text drawn: where its baseline starts, and its characters.
struct PaintedRun {
    QPointF at;
    QString text;
};

namespace detail {

class RecordingEngine : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawTextItem(const QPointF& at, const QTextItem& item) override
    {
        // The painter's translation (the cell's place) is in its state.
        runs.push_back({painter()->transform().map(at), item.text()});
    }
    Type type() const override { return QPaintEngine::User; }

    std::vector<PaintedRun> runs;
};

// A device the size and resolution of `like` that paints nothing but
// remembers the text drawn on it.
class RecordingDevice : public QPaintDevice {
public:
    explicit RecordingDevice(const QWidget& like) : m_like(like) {}
    QPaintEngine* paintEngine() const override { return &m_engine; }
    std::vector<PaintedRun>& Runs() { return m_engine.runs; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_like.width();
        case PdmHeight:
            return m_like.height();
        case PdmWidthMM:
            return m_like.widthMM();
        case PdmHeightMM:
            return m_like.heightMM();
        case PdmDpiX:
            return m_like.logicalDpiX();
        case PdmDpiY:
            return m_like.logicalDpiY();
        case PdmPhysicalDpiX:
            return m_like.physicalDpiX();
        case PdmPhysicalDpiY:
            return m_like.physicalDpiY();
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return 0;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
        }
        return QPaintDevice::metric(metric);
    }

private:
    const QWidget& m_like;
    mutable RecordingEngine m_engine;
};

}  // namespace detail

// Paints `widget` as it would paint on its screen and gives the runs of
// text drawn, in the order drawn.
inline std::vector<PaintedRun> PaintedRuns(QWidget& widget)
{
    detail::RecordingDevice device(widget);
    widget.render(&device, QPoint(), QRegion(), QWidget::DrawChildren);
    return std::move(device.Runs());
}

// The text painted within `rect` of `widget` (a cell): the runs whose
// baseline starts there, joined from left to right.
inline QString PaintedTextIn(QWidget& widget, const QRect& rect)
{
    std::vector<PaintedRun> inside;
    for (PaintedRun& run : PaintedRuns(widget)) {
        const QPoint at = run.at.toPoint();
        if (at.x() >= rect.left() && at.x() <= rect.right() && at.y() >= rect.top() && at.y() <= rect.bottom() + 1)
            inside.push_back(std::move(run));
    }
    std::stable_sort(inside.begin(), inside.end(),
                     [](const PaintedRun& a, const PaintedRun& b) { return a.at.x() < b.at.x(); });
    QString text;
    for (const PaintedRun& run : inside)
        text += run.text;
    return text;
}

}  // namespace tamboro::test
