// TapSlider: a press first sets the value from the pressed x as a percentage
// of the width, then QSlider's own handling runs.
#include <QtTest>

#include "tapslider.h"

Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

// Different from every value the presses below set, so the press always
// changes the value and the first valueChanged is the slider's own setting.
constexpr int start_value = 77;

} // namespace

class TapSliderTest : public QObject {
	Q_OBJECT

private slots:
	void press_sets_percentage_of_width_data();
	void press_sets_percentage_of_width();
	void qslider_handles_the_press_after_the_value_is_set();
	void zero_width_leaves_the_value();
	void keeps_qslider_defaults();
};

void TapSliderTest::press_sets_percentage_of_width_data()
{
	QTest::addColumn<int>("width");
	QTest::addColumn<int>("x");
	QTest::addColumn<Qt::Orientation>("orientation");
	QTest::addColumn<Qt::MouseButton>("button");
	QTest::addColumn<int>("minimum");
	QTest::addColumn<int>("maximum");
	QTest::addColumn<int>("value");

	const auto h = Qt::Horizontal;
	QTest::newRow("left edge") << 200 << 0 << h << Qt::LeftButton << 0 << 100 << 0;
	QTest::newRow("middle") << 200 << 100 << h << Qt::LeftButton << 0 << 100 << 50;
	QTest::newRow("last pixel") << 200 << 199 << h << Qt::LeftButton << 0 << 100 << 99;
	// 29 / 100 * 100 is just below 29 in double precision and truncates.
	QTest::newRow("29 of 100") << 100 << 29 << h << Qt::LeftButton << 0 << 100 << 28;
	QTest::newRow("57 of 100") << 100 << 57 << h << Qt::LeftButton << 0 << 100 << 56;
	QTest::newRow("58 of 100") << 100 << 58 << h << Qt::LeftButton << 0 << 100 << 57;
	QTest::newRow("right button") << 200 << 100 << h << Qt::RightButton << 0 << 100 << 50;
	QTest::newRow("middle button") << 200 << 60 << h << Qt::MiddleButton << 0 << 100 << 30;
	QTest::newRow("vertical takes x and width")
		<< 100 << 29 << Qt::Vertical << Qt::LeftButton << 0 << 100 << 28;
	QTest::newRow("below the range") << 100 << 5 << h << Qt::LeftButton << 20 << 90 << 20;
	QTest::newRow("above the range") << 100 << 95 << h << Qt::LeftButton << 20 << 90 << 90;
	QTest::newRow("range beyond 100 is not scaled")
		<< 100 << 50 << h << Qt::LeftButton << 0 << 1000 << 50;
}

void TapSliderTest::press_sets_percentage_of_width()
{
	QFETCH(int, width);
	QFETCH(int, x);
	QFETCH(Qt::Orientation, orientation);
	QFETCH(Qt::MouseButton, button);
	QFETCH(int, minimum);
	QFETCH(int, maximum);
	QFETCH(int, value);

	TapSlider slider(nullptr);
	slider.setOrientation(orientation);
	slider.setRange(minimum, maximum);
	slider.setValue(start_value);
	slider.resize(width, orientation == Qt::Horizontal ? 30 : 200);
	slider.show();
	QVERIFY(QTest::qWaitForWindowExposed(&slider));
	QCOMPARE(slider.width(), width);
	QSignalSpy changes(&slider, &QSlider::valueChanged);

	QTest::mousePress(&slider, button, Qt::NoModifier, QPoint(x, slider.height() / 2));

	QVERIFY(!changes.isEmpty());
	QCOMPARE(changes.first().first().toInt(), value);
}

void TapSliderTest::qslider_handles_the_press_after_the_value_is_set()
{
	TapSlider slider(nullptr);
	slider.setOrientation(Qt::Horizontal);
	slider.setRange(0, 100);
	slider.resize(200, 30);
	slider.show();
	QVERIFY(QTest::qWaitForWindowExposed(&slider));
	int value_when_pressed = -1;
	connect(&slider, &QSlider::sliderPressed, this,
		[&] { value_when_pressed = slider.value(); });

	QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(150, 15));

	// The handle moved under the press first, so QSlider takes it as a grab
	// of the handle.
	QCOMPARE(value_when_pressed, 75);
	QVERIFY(slider.isSliderDown());
	QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(150, 15));
	QVERIFY(!slider.isSliderDown());
}

void TapSliderTest::zero_width_leaves_the_value()
{
	TapSlider slider(nullptr);
	slider.setValue(40);
	slider.resize(0, 30);
	QCOMPARE(slider.width(), 0);

	QMouseEvent press(QEvent::MouseButtonPress, QPointF(0, 10), Qt::LeftButton,
			  Qt::LeftButton, Qt::NoModifier);
	QApplication::sendEvent(&slider, &press);

	QCOMPARE(slider.value(), 40);
}

void TapSliderTest::keeps_qslider_defaults()
{
	TapSlider tap(nullptr);
	QSlider plain(nullptr);

	QCOMPARE(tap.orientation(), plain.orientation());
	QCOMPARE(tap.minimum(), plain.minimum());
	QCOMPARE(tap.maximum(), plain.maximum());
	QCOMPARE(tap.pageStep(), plain.pageStep());
	QCOMPARE(tap.metaObject(), &QSlider::staticMetaObject);
}

QTEST_MAIN(TapSliderTest)
#include "tapslider_test.moc"
