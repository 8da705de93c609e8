#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

// The touchpad surface's gesture arithmetic: a press-release that travelled less than 4 points
// is a tap, drags become pointer motion ×1.5, and two-finger scrolling becomes one step per
// 8 points (opposite sign to the platform's delta), keeping the remainder between events.
class TouchpadModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double travelled READ travelled NOTIFY travelledChanged)
    Q_PROPERTY(double scrollAccumulator READ scrollAccumulator NOTIFY scrollAccumulatorChanged)

public:
    static constexpr double clickThreshold = 4.0;
    static constexpr double motionScale = 1.5;
    static constexpr double pointsPerStep = 8.0;
    // A wheel notch (120 eighths of a degree) counts as one step's worth of points.
    static constexpr double pointsPerNotch = pointsPerStep;

    explicit TouchpadModel(QObject *parent = nullptr);

    double travelled() const { return m_travelled; }
    double scrollAccumulator() const { return m_scrollAccumulator; }

    Q_INVOKABLE void mouseDown();
    Q_INVOKABLE void mouseDragged(double dx, double dy); // platform delta, points
    Q_INVOKABLE bool mouseUp(); // true when it was a tap
    // The scrolling delta y of one wheel event; returns the steps sent (0 when none).
    Q_INVOKABLE int scrollBy(double deltaY);
    // A QML WheelEvent: pixel delta when the device reports one (touchpads), else wheel notches.
    Q_INVOKABLE int wheel(double pixelDeltaY, double angleDeltaY);

Q_SIGNALS:
    void moveRequested(double dx, double dy);
    void clickRequested();
    void scrollRequested(int steps);
    void travelledChanged();
    void scrollAccumulatorChanged();

private:
    double m_travelled = 0;
    double m_scrollAccumulator = 0;
};
