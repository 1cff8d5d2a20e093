// The input core of 4.1 for switches: capabilities, the state each switch
// is in, and the events evdev hands a reader, a change at a time.
#include <linux/input.h>

#include <cstdlib>
#include <map>

#include "internal.hpp"

namespace ksim {
namespace {

struct Record {
	bool registered = false;
	std::string node;  // "eventN" while registered
	std::vector<input::Event> pending, passed;
};

std::map<struct input_dev *, Record> &records()
{
	static std::map<struct input_dev *, Record> r;
	return r;
}

Record *record_of(struct input_dev *dev, const char *call)
{
	auto it = records().find(dev);
	if (it != records().end())
		return &it->second;
	violations::report(detail::format("%s on an input device that is not allocated "
					  "or already freed", call));
	return nullptr;
}

bool test_bit(unsigned code, const unsigned long *bits)
{
	return code < sizeof(long) * 8 && (bits[0] >> code & 1);
}

const Record *registered(const std::string &name)
{
	for (const auto &[dev, record] : records())
		if (record.registered && dev->name && name == dev->name)
			return &record;
	return nullptr;
}

std::string free_node()
{
	for (unsigned n = 0;; n++) {
		std::string node = "event" + std::to_string(n);
		bool taken = false;
		for (const auto &[dev, record] : records())
			taken = taken || record.node == node;
		if (!taken)
			return node;
	}
}

// The device goes when its last reference does, at unregistration.
void release_managed(void *data)
{
	auto *dev = static_cast<struct input_dev *>(data);
	if (records().at(dev).registered)
		input_unregister_device(dev);
	records().erase(dev);
	std::free(dev);
}

}  // namespace

bool input::registered(const std::string &name) { return ksim::registered(name) != nullptr; }

std::vector<input::Event> input::events(const std::string &name)
{
	const Record *record = ksim::registered(name);
	return record ? record->passed : std::vector<Event>{};
}

std::string input::node(const std::string &name)
{
	const Record *record = ksim::registered(name);
	return record ? "/dev/input/" + record->node : "";
}

void detail::reset_input()
{
	for (auto &[dev, record] : records())
		std::free(dev);
	records().clear();
}

}  // namespace ksim

extern "C" {

struct input_dev *devm_input_allocate_device(struct device *dev)
{
	ksim_might_sleep(__func__);
	auto *input = static_cast<struct input_dev *>(std::calloc(1, sizeof(struct input_dev)));
	input->dev.parent = dev;
	ksim::records()[input];
	ksim::detail::devres_add(dev, ksim::release_managed, input);
	return input;
}

void input_set_capability(struct input_dev *dev, unsigned int type, unsigned int code)
{
	if (type != EV_SW || code > SW_MAX) {
		ksim::violations::report(ksim::detail::format(
			"input capability type %u code %u: not modelled", type, code));
		return;
	}
	dev->evbit[0] |= BIT(EV_SW);
	dev->swbit[0] |= BIT(code);
}

int input_register_device(struct input_dev *dev)
{
	ksim_might_sleep(__func__);
	ksim::Record *record = ksim::record_of(dev, __func__);
	if (!record)
		return -EINVAL;
	if (record->registered) {
		ksim::violations::report("input_register_device of a registered device");
		return -EINVAL;
	}
	dev->evbit[0] |= BIT(EV_SYN);
	record->registered = true;
	record->node = ksim::free_node();
	return 0;
}

void input_unregister_device(struct input_dev *dev)
{
	ksim_might_sleep(__func__);
	ksim::Record *record = ksim::record_of(dev, __func__);
	if (!record)
		return;
	if (!record->registered) {
		ksim::violations::report("input_unregister_device of a device not registered");
		return;
	}
	*record = {};
}

// Legal in any context. Only changes pass, and a sync passes only what
// came before it; an unregistered device keeps the state and passes none.
void input_event(struct input_dev *dev, unsigned int type, unsigned int code, int value)
{
	ksim::Record *record = ksim::record_of(dev, __func__);
	if (!record || !ksim::test_bit(type, dev->evbit))
		return;
	const ksim::input::Event event{ksim::time::now(), type, code, value};
	if (type == EV_SYN && code == SYN_REPORT) {
		if (!record->pending.empty()) {
			record->passed.insert(record->passed.end(), record->pending.begin(),
					      record->pending.end());
			record->passed.push_back(event);
		}
		record->pending.clear();
		return;
	}
	if (type != EV_SW || !ksim::test_bit(code, dev->swbit) ||
	    ksim::test_bit(code, dev->sw) == !!value)
		return;
	dev->sw[0] ^= BIT(code);
	if (record->registered)
		record->pending.push_back(event);
}

}  // extern "C"
