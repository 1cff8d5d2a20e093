// HC-SR501 PIR motion sensor: a push-pull output on one GPIO line, high
// while somebody is seen. Tests script the output over virtual time.
#pragma once

#include <vector>

#include "ksim/model.hpp"

namespace ksim::hw {

class Pir {
public:
	// Attaches to the line and drives it low: nobody there.
	explicit Pir(unsigned gpio);
	// Lets go of the line and drops what is still scheduled.
	~Pir();
	Pir(const Pir &) = delete;
	Pir &operator=(const Pir &) = delete;

	int output() const { return output_; }
	// Level changes of the output so far.
	unsigned edges() const { return edges_; }

	void set(int level);
	void set_at(time::Nanoseconds when, int level);
	// `count` changes `period` apart from `start`, the first to `first`
	// and each later one to the opposite level.
	void burst(time::Nanoseconds start, int first, unsigned count,
		   time::Nanoseconds period);
	// A change to `level` that chatters back and forth `bounces` times,
	// `period` apart, before it settles at `level`.
	void bounce(time::Nanoseconds start, int level, unsigned bounces,
		    time::Nanoseconds period);

private:
	unsigned gpio_;
	int output_ = 0;
	unsigned edges_ = 0;
	std::vector<time::EventId> scheduled_;
};

}  // namespace ksim::hw
