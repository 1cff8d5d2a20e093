// A throughput measured beside a baseline in the same run: rounds in which
// the code and its baseline run in turn, the first of the two alternating,
// so that both meet the same load. The machine's load moves both figures;
// their ratio shows what the code itself gained or lost.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

struct SideBySide {
	std::vector<double> rates;
	std::vector<double> baseline_rates;
	std::vector<double> ratios; // each round's rate over its baseline's

	static double median(std::vector<double> values)
	{
		std::sort(values.begin(), values.end());
		const std::size_t n = values.size();
		return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
	}
	double ratio() const { return median(ratios); }
	double rate() const { return median(rates); }
	double baseline_rate() const { return median(baseline_rates); }
};

// measure(true) runs the baseline, measure(false) the code; each returns a
// rate. Needs at least one round.
template <class Measure>
SideBySide side_by_side(int rounds, Measure measure)
{
	SideBySide result;
	for (int round = 0; round < rounds; ++round) {
		const bool baseline_first = round % 2 == 1;
		const double first = measure(baseline_first);
		const double second = measure(!baseline_first);
		const double rate = baseline_first ? second : first;
		const double baseline_rate = baseline_first ? first : second;
		result.rates.push_back(rate);
		result.baseline_rates.push_back(baseline_rate);
		result.ratios.push_back(rate / baseline_rate);
	}
	return result;
}
