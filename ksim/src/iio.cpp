// The IIO core of 4.1 for channels read one value at a time: a numbered
// device under /sys/bus/iio/devices whose files the channels name.
#include <linux/iio/iio.h>

#include <cstddef>
#include <cstdlib>
#include <map>

#include "internal.hpp"

namespace ksim {
namespace {

struct Allocation {
	struct device *parent;
	std::string path;  // while registered
};

std::map<struct iio_dev *, Allocation> &allocations()
{
	static std::map<struct iio_dev *, Allocation> a;
	return a;
}

constexpr const char *iio_devices = "/sys/bus/iio/devices";
constexpr std::size_t priv_offset =
	(sizeof(struct iio_dev) + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);

// iio_chan_type_name_spec and iio_modifier_names, for the types modelled.
const std::map<int, const char *> type_names = {
	{IIO_LIGHT, "illuminance"}, {IIO_INTENSITY, "intensity"},
	{IIO_PROXIMITY, "proximity"}, {IIO_TEMP, "temp"}, {IIO_VOLTAGE, "voltage"},
};
const std::map<int, const char *> modifier_names = {
	{IIO_MOD_LIGHT_BOTH, "both"}, {IIO_MOD_LIGHT_IR, "ir"},
};

// As __iio_device_attr_init names a separate attribute.
std::string raw_file_name(const struct iio_chan_spec &chan)
{
	auto type = type_names.find(chan.type);
	auto modifier = modifier_names.find(chan.channel2);
	if (chan.output || type == type_names.end() ||
	    (chan.modified && modifier == modifier_names.end())) {
		violations::report(detail::format("IIO channel type %d modifier %d: not modelled",
						  chan.type, chan.channel2));
		return "unmodelled";
	}
	std::string name = std::string("in_") + type->second;
	if (chan.modified)
		name += std::string("_") + modifier->second;
	if (chan.indexed)
		name += std::to_string(chan.channel);
	return name + "_raw";
}

// As iio_read_channel_info and iio_format_value for IIO_VAL_INT.
ssize_t read_raw(struct iio_dev *indio_dev, const struct iio_chan_spec *chan, char *page)
{
	int val = 0, val2 = 0;
	int ret = indio_dev->info->read_raw(indio_dev, chan, &val, &val2, IIO_CHAN_INFO_RAW);
	if (ret < 0)
		return ret;
	if (ret != IIO_VAL_INT) {
		violations::report(detail::format("IIO value type %d: not modelled", ret));
		return -EINVAL;
	}
	return std::sprintf(page, "%d\n", val);
}

std::vector<detail::SysfsFile> files_of(struct iio_dev *indio_dev)
{
	std::vector<detail::SysfsFile> files;
	if (indio_dev->name)
		files.push_back({"name", [indio_dev](char *page) {
					 return static_cast<ssize_t>(
						 std::sprintf(page, "%s\n", indio_dev->name));
				 }});
	for (int i = 0; i < indio_dev->num_channels; i++) {
		const struct iio_chan_spec *chan = &indio_dev->channels[i];
		if (chan->info_mask_separate & ~BIT(IIO_CHAN_INFO_RAW))
			violations::report("IIO channel information other than raw: not modelled");
		if (chan->info_mask_separate & BIT(IIO_CHAN_INFO_RAW))
			files.push_back({raw_file_name(*chan), [indio_dev, chan](char *page) {
						 return read_raw(indio_dev, chan, page);
					 }});
	}
	return files;
}

void unregister_managed(void *data)
{
	auto *indio_dev = static_cast<struct iio_dev *>(data);
	Allocation &a = allocations().at(indio_dev);
	detail::sysfs_remove(a.path);
	a.path.clear();
	// As 4.1's iio_device_unregister: reads that got past sysfs find no info.
	indio_dev->info = nullptr;
}

void free_managed(void *data)
{
	auto *indio_dev = static_cast<struct iio_dev *>(data);
	if (!allocations().at(indio_dev).path.empty())
		violations::report("an IIO device freed while registered");
	allocations().erase(indio_dev);
	std::free(indio_dev);
}

}  // namespace

void detail::reset_iio()
{
	for (auto &[indio_dev, allocation] : allocations())
		std::free(indio_dev);
	allocations().clear();
}

}  // namespace ksim

extern "C" {

struct iio_dev *devm_iio_device_alloc(struct device *dev, int sizeof_priv)
{
	ksim_might_sleep(__func__);
	auto *indio_dev = static_cast<struct iio_dev *>(
		std::calloc(1, ksim::priv_offset + static_cast<std::size_t>(sizeof_priv)));
	ksim::allocations()[indio_dev] = {dev, ""};
	ksim::detail::devres_add(dev, ksim::free_managed, indio_dev);
	return indio_dev;
}

void *iio_priv(const struct iio_dev *indio_dev)
{
	return reinterpret_cast<char *>(const_cast<struct iio_dev *>(indio_dev)) + ksim::priv_offset;
}

int devm_iio_device_register(struct device *dev, struct iio_dev *indio_dev)
{
	ksim_might_sleep(__func__);
	auto it = ksim::allocations().find(indio_dev);
	if (it == ksim::allocations().end()) {
		ksim::violations::report("iio_device_register of a device IIO did not allocate");
		return -EINVAL;
	}
	if (!it->second.path.empty()) {
		ksim::violations::report("iio_device_register of a registered device");
		return -EEXIST;
	}
	// 4.1 does not check: the first read of a channel would oops.
	if (!indio_dev->info || !indio_dev->info->read_raw) {
		ksim::violations::report("iio_device_register without info->read_raw");
		return -EINVAL;
	}
	it->second.path = ksim::iio_devices + std::string("/") +
			  ksim::detail::sysfs_free_name(ksim::iio_devices, "iio:device");
	ksim::detail::sysfs_add(it->second.path, ksim::files_of(indio_dev));
	ksim::detail::devres_add(dev, ksim::unregister_managed, indio_dev);
	return 0;
}

}  // extern "C"
