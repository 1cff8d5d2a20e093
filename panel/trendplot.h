// The panel's trends: a curve for each module whose values are numbers,
// over the last minutes, against the time each value arrived.
#pragma once

#include <QHash>
#include <QPointF>
#include <QVector>
#include <qwt_plot.h>

class QDateTime;
class QwtPlotCurve;

class TrendPlot : public QwtPlot {
	Q_OBJECT

public:
	// How far back the plot looks.
	static constexpr qint64 window_ms = 5 * 60 * 1000;

	explicit TrendPlot(QWidget *parent);

	// A value that is a number becomes a point of its module's curve at
	// WHEN, and the window ends there: every point older than it leaves.
	// The time axis runs from the first point kept to WHEN.
	// Returns false, changing nothing, for a value that is not a number.
	bool add_value(const QString &module, const QString &value, const QDateTime &when);

private:
	void add_curve_if_new(const QString &module);
	// Returns the time of the first point kept.
	double forget_before(double oldest);
	void show_curve(const QVariant &item, bool on);

	QHash<QString, QwtPlotCurve *> curves;
	QHash<QString, QVector<QPointF>> points;
};
