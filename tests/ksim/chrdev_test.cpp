// Character devices, nodes, files and the module loader.
#include <linux/fs.h>
#include <linux/module.h>

#include "ksim/testing.hpp"

namespace {

using ksim::user::Buffer;
namespace modules = ksim::modules;
namespace fs = ksim::fs;

class ChrdevTest : public ksim::Test {};

TEST_F(ChrdevTest, ALoadedModuleServesItsNodeThroughItsFileOperations)
{
	ASSERT_EQ(modules::load("ksim_echo"), 0);
	EXPECT_EQ(fs::nodes(), (std::vector<std::string>{"/dev/echo"}));
	EXPECT_EQ(MAJOR(fs::devt("/dev/echo")), 254U);

	int fd = fs::open("/dev/echo");
	ASSERT_GE(fd, 0);
	Buffer in(1, 'k'), out(1);
	EXPECT_EQ(fs::write(fd, in.data(), 1), 1);
	EXPECT_EQ(fs::read(fd, out.data(), 1), 1);
	EXPECT_EQ(out[0], 'k');
	EXPECT_EQ(fs::read(fd, ksim::user::kernel_address(), 1), -EFAULT);
	EXPECT_EQ(fs::close(fd), 0);
	EXPECT_EQ(fs::close(fd), -EBADF);
	EXPECT_EQ(fs::open("/dev/nothing"), -ENOENT);
}

TEST_F(ChrdevTest, AnOpenFileKeepsItsModuleLoaded)
{
	EXPECT_EQ(modules::load("no_such_module"), -ENOENT);
	ASSERT_EQ(modules::load("ksim_echo"), 0);
	EXPECT_EQ(modules::load("ksim_echo"), -EEXIST);
	int fd = fs::open("/dev/echo");
	EXPECT_EQ(modules::unload("ksim_echo"), -EBUSY);
	fs::close(fd);
	EXPECT_EQ(modules::unload("ksim_echo"), 0);
	EXPECT_FALSE(fs::exists("/dev/echo"));
	EXPECT_EQ(modules::unload("ksim_echo"), -ENOENT);
}

TEST_F(ChrdevTest, DynamicMajorsComeFromTheTopAndOverlapsAreRefused)
{
	static const struct file_operations ops = {};
	EXPECT_EQ(__register_chrdev(0, 0, 256, "a", &ops), 254);
	EXPECT_EQ(__register_chrdev(0, 0, 256, "b", &ops), 253);
	EXPECT_EQ(__register_chrdev(253, 255, 1, "c", &ops), -EBUSY);
	EXPECT_EQ(__register_chrdev(253, 256, 1, "d", &ops), 253);
	__unregister_chrdev(254, 0, 256, "a");
	EXPECT_EQ(__register_chrdev(0, 0, 256, "e", &ops), 254);

	__unregister_chrdev(200, 0, 256, "never");
	EXPECT_EQ(ksim::violations::take().size(), 1U);
}

TEST_F(ChrdevTest, TheLoaderReportsWhatAModuleLeavesBehind)
{
	ASSERT_EQ(modules::load("ksim_echo"), 0);
	static struct file_operations leaked = {};
	leaked.owner = modules::find("ksim_echo");
	int major = __register_chrdev(0, 0, 1, "leaked", &leaked);
	ASSERT_EQ(modules::unload("ksim_echo"), 0);
	EXPECT_EQ(ksim::violations::take(),
		  std::vector<std::string>{"ksim_echo left character device \"leaked\" (major " +
					   std::to_string(major) + ") behind after unload"});
}

TEST_F(ChrdevTest, AnInjectedFaultFailsTheCallOnceAtTheChosenSite)
{
	ksim::fault::inject("class_create", -ENOMEM);
	EXPECT_EQ(modules::load("ksim_echo"), -ENOMEM);
	EXPECT_FALSE(modules::loaded("ksim_echo"));
	EXPECT_TRUE(fs::nodes().empty());

	ksim::fault::inject("register_chrdev", -EBUSY, 1);
	EXPECT_EQ(modules::load("ksim_echo"), 0);
	static const struct file_operations ops = {};
	EXPECT_EQ(__register_chrdev(0, 0, 1, "second", &ops), -EBUSY);
	EXPECT_EQ(__register_chrdev(0, 0, 1, "third", &ops), 253);
}

}  // namespace
