// TrendPlot: numbers become points of their module's curve, anything else
// does not, and points older than the window leave it.
#include <QtTest>

#include <qwt_date.h>
#include <qwt_plot_curve.h>

#include "trendplot.h"

namespace {

const QDateTime start(QDate(2024, 5, 1), QTime(12, 0));

// Each curve's title and its points, in order.
QMap<QString, QVector<QPointF>> curves_of(const TrendPlot &plot)
{
	QMap<QString, QVector<QPointF>> curves;
	for (const QwtPlotItem *item : plot.itemList(QwtPlotItem::Rtti_PlotCurve)) {
		const auto *curve = static_cast<const QwtPlotCurve *>(item);
		QVector<QPointF> &points = curves[curve->title().text()];
		for (size_t i = 0; i < curve->dataSize(); ++i)
			points << curve->sample(static_cast<int>(i));
	}
	return curves;
}

QPointF point(qint64 after_ms, double value)
{
	return QPointF(QwtDate::toDouble(start.addMSecs(after_ms)), value);
}

} // namespace

class TrendPlotTest : public QObject {
	Q_OBJECT

private slots:
	void numbers_become_points_of_their_modules_curve();
	void old_points_leave_the_window();
};

void TrendPlotTest::numbers_become_points_of_their_modules_curve()
{
	TrendPlot plot(nullptr);
	QVERIFY(plot.add_value("temp", "23.5", start));
	QVERIFY(plot.add_value("light", "300", start.addMSecs(500)));
	QVERIFY(plot.add_value("temp", "-4", start.addMSecs(1000)));
	for (const char *text : {"tapped", "", "12a", "inf", "nan", "1,500"})
		QVERIFY2(!plot.add_value("step", text, start.addMSecs(1500)), text);
	QVERIFY(!plot.add_value("temp", "n/a", start.addMSecs(2000)));

	QMap<QString, QVector<QPointF>> want;
	want["temp"] = {point(0, 23.5), point(1000, -4)};
	want["light"] = {point(500, 300)};
	QCOMPARE(curves_of(plot), want);
}

void TrendPlotTest::old_points_leave_the_window()
{
	TrendPlot plot(nullptr);
	plot.add_value("temp", "20", start);
	plot.add_value("light", "100", start.addMSecs(1000));
	plot.add_value("temp", "21", start.addMSecs(TrendPlot::window_ms));
	plot.add_value("temp", "22", start.addMSecs(TrendPlot::window_ms + 1001));

	QMap<QString, QVector<QPointF>> want;
	want["temp"] = {point(TrendPlot::window_ms, 21), point(TrendPlot::window_ms + 1001, 22)};
	want["light"] = {};
	QCOMPARE(curves_of(plot), want);
	const QwtInterval axis = plot.axisInterval(QwtPlot::xBottom);
	QCOMPARE(axis.minValue(), point(TrendPlot::window_ms, 0).x());
	QCOMPARE(axis.maxValue(), point(TrendPlot::window_ms + 1001, 0).x());
}

QTEST_MAIN(TrendPlotTest)
#include "trendplot_test.moc"
