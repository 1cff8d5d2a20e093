#include "tapslider.h"

#include <QMouseEvent>

#include <algorithm>
#include <climits>

TapSlider::TapSlider(QWidget *parent) : QSlider(parent)
{
}

TapSlider::~TapSlider() = default;

void TapSlider::mousePressEvent(QMouseEvent *event)
{
	const int w = width();
	// A collapsed slider has no position to take.
	if (w > 0) {
		const double percent = static_cast<double>(event->x()) / w * 100.0;
		// setValue bounds the value to the range; the clamp only keeps a far
		// outside press from overflowing the conversion.
		setValue(static_cast<int>(std::clamp(percent, double(INT_MIN), double(INT_MAX))));
	}
	QSlider::mousePressEvent(event);
}
