#include "trendplot.h"

#include <QDateTime>
#include <QLocale>
#include <qwt_date.h>
#include <qwt_date_scale_draw.h>
#include <qwt_date_scale_engine.h>
#include <qwt_legend.h>
#include <qwt_legend_label.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_symbol.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

// The axis's shortest span, while there are few points.
constexpr qint64 min_span_ms = 1000;

// A colour for each new curve, in turn.
const Qt::GlobalColor curve_colours[] = {Qt::blue,    Qt::red,      Qt::darkGreen, Qt::magenta,
					 Qt::darkCyan, Qt::darkYellow, Qt::black,     Qt::gray};

// The value as a finite number, or false: the frame's own digits, read the
// same whatever the locale, with no thousands separators.
bool read_number(const QString &value, double &number)
{
	QLocale digits = QLocale::c();
	digits.setNumberOptions(QLocale::RejectGroupSeparator);
	bool ok = false;
	number = digits.toDouble(value, &ok);
	return ok && std::isfinite(number);
}

} // namespace

TrendPlot::TrendPlot(QWidget *parent) : QwtPlot(parent)
{
	// The time of day alone: the window spans minutes, and a board's clock
	// may not know the date.
	auto *time_axis = new QwtDateScaleDraw(Qt::LocalTime);
	for (const auto interval : {QwtDate::Millisecond, QwtDate::Second})
		time_axis->setDateFormat(interval, "hh:mm:ss");
	for (const auto interval : {QwtDate::Minute, QwtDate::Hour, QwtDate::Day})
		time_axis->setDateFormat(interval, "hh:mm");
	setAxisScaleDraw(xBottom, time_axis);
	setAxisScaleEngine(xBottom, new QwtDateScaleEngine(Qt::LocalTime));
	setAxisMaxMajor(xBottom, 4);
	// Beside the table, half the window's width, whatever the labels ask.
	setMinimumSize(200, 150);
	const QDateTime now = QDateTime::currentDateTime();
	setAxisScale(xBottom, QwtDate::toDouble(now.addMSecs(-min_span_ms)), QwtDate::toDouble(now));
	auto *grid = new QwtPlotGrid;
	grid->setPen(Qt::lightGray, 0, Qt::DotLine);
	grid->attach(this);
	// Each module's label shows or hides its curve, as curves of very
	// different sizes share the axis.
	auto *legend = new QwtLegend;
	legend->setDefaultItemMode(QwtLegendData::Checkable);
	insertLegend(legend, TopLegend);
	connect(legend, &QwtLegend::checked, this,
		[this](const QVariant &item, bool on, int) { show_curve(item, on); });
}

bool TrendPlot::add_value(const QString &module, const QString &value, const QDateTime &when)
{
	double number;
	if (!read_number(value, number))
		return false;
	const double now = QwtDate::toDouble(when);
	add_curve_if_new(module);
	points[module].append(QPointF(now, number));
	const double first = forget_before(QwtDate::toDouble(when.addMSecs(-window_ms)));
	// Until the window is full the axis starts at the first point, a
	// second back at least.
	setAxisScale(xBottom, std::min(first, QwtDate::toDouble(when.addMSecs(-min_span_ms))), now);
	replot();
	return true;
}

void TrendPlot::add_curve_if_new(const QString &module)
{
	if (curves.contains(module))
		return;
	auto *curve = new QwtPlotCurve(module);
	const int count = curves.size();
	const QColor colour = curve_colours[count % std::size(curve_colours)];
	curve->setPen(colour, 2);
	curve->setRenderHint(QwtPlotItem::RenderAntialiased);
	// A dot on each value: a module's first value is a curve of one point.
	curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(colour), QPen(colour), QSize(5, 5)));
	curve->attach(this);
	curves.insert(module, curve);
	if (auto *label = qobject_cast<QwtLegendLabel *>(
		    static_cast<QwtLegend *>(legend())->legendWidget(itemToInfo(curve))))
		label->setChecked(true);
}

double TrendPlot::forget_before(double oldest)
{
	double first = std::numeric_limits<double>::infinity();
	for (auto module = points.begin(); module != points.end(); ++module) {
		QVector<QPointF> &series = module.value();
		const auto first_kept = std::find_if(series.begin(), series.end(),
			[oldest](const QPointF &point) { return point.x() >= oldest; });
		series.erase(series.begin(), first_kept);
		curves.value(module.key())->setSamples(series);
		if (!series.isEmpty())
			first = std::min(first, series.first().x());
	}
	return first;
}

void TrendPlot::show_curve(const QVariant &item, bool on)
{
	if (QwtPlotItem *curve = infoToItem(item)) {
		curve->setVisible(on);
		replot();
	}
}
