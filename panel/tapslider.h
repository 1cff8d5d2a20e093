// A QSlider whose value jumps to the pressed point before the usual handling.
#pragma once

#include <QSlider>

class TapSlider : public QSlider {
public:
	explicit TapSlider(QWidget *parent);
	~TapSlider() override;

protected:
	// The value becomes the press's x as a percentage of the width, whatever
	// the button, orientation or range; then QSlider handles the press.
	void mousePressEvent(QMouseEvent *event) override;
};
