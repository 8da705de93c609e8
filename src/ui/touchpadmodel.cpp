#include "touchpadmodel.h"

#include <cmath>

TouchpadModel::TouchpadModel(QObject *parent)
    : QObject(parent)
{
}

void TouchpadModel::mouseDown()
{
    m_travelled = 0;
    Q_EMIT travelledChanged();
}

void TouchpadModel::mouseDragged(double dx, double dy)
{
    m_travelled += std::abs(dx) + std::abs(dy);
    Q_EMIT travelledChanged();
    Q_EMIT moveRequested(dx * motionScale, dy * motionScale);
}

bool TouchpadModel::mouseUp()
{
    if (m_travelled < clickThreshold) {
        Q_EMIT clickRequested();
        return true;
    }
    return false;
}

int TouchpadModel::scrollBy(double deltaY)
{
    m_scrollAccumulator -= deltaY;
    const int steps = static_cast<int>(std::trunc(m_scrollAccumulator / pointsPerStep));
    if (steps != 0)
        m_scrollAccumulator -= steps * pointsPerStep;
    Q_EMIT scrollAccumulatorChanged();
    if (steps != 0)
        Q_EMIT scrollRequested(steps);
    return steps;
}

int TouchpadModel::wheel(double pixelDeltaY, double angleDeltaY)
{
    if (pixelDeltaY != 0)
        return scrollBy(pixelDeltaY);
    return scrollBy(angleDeltaY / 120.0 * pointsPerNotch);
}
