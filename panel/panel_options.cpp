#include "panel_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The speeds the serial line unit sets; it would take any other as 9600.
constexpr int supported_bauds[] = {2400, 4800, 9600, 115200};

bool supported_baud(int baud)
{
	for (int supported : supported_bauds)
		if (baud == supported)
			return true;
	return false;
}

// A value that is itself one of the options, as the "--baud" of
// "--port --baud 9600", means that the option's own value was left out.
bool names_an_option(const QString &value, const QStringList &names)
{
	if (value == "--")
		return true;
	if (value.startsWith("--"))
		return names.contains(value.mid(2).section('=', 0, 0));
	return value.size() == 2 && value.startsWith('-') && names.contains(value.mid(1));
}

QString quoted_name(const QCommandLineOption &option)
{
	return "'--" + option.names().constFirst() + "'";
}

// What is wrong with the first given value that is left out or empty, or nothing.
QString missing_value_error(const QCommandLineParser &parser,
			    const QList<QCommandLineOption> &options)
{
	QStringList names;
	for (const QCommandLineOption &option : options)
		names += option.names();
	for (const QCommandLineOption &option : options) {
		if (option.valueName().isEmpty() || !parser.isSet(option))
			continue;
		const QString value = parser.value(option);
		if (names_an_option(value, names))
			return "Missing value after " + quoted_name(option) + ".";
		if (value.isEmpty())
			return "Empty value for " + quoted_name(option) + ".";
	}
	return QString();
}

// A path of PATH_MAX bytes or more names no file: opening it could only fail.
QString long_path_error(const QCommandLineParser &parser, const QList<QCommandLineOption> &options)
{
	for (const QCommandLineOption &option : options) {
		if (option.valueName() != "PATH")
			continue;
		const int length = QFile::encodeName(parser.value(option)).size();
		if (length >= PATH_MAX)
			return QString("Path too long for %1: %2 bytes (at most %3).")
				.arg(quoted_name(option))
				.arg(length)
				.arg(PATH_MAX - 1);
	}
	return QString();
}

// Qt's GUI options (QGuiApplication's and QApplication's), with one dash or
// two: those followed by a value, and those that stand alone.
const QStringList gui_options_with_value = {
	"platform", "platformpluginpath", "platformtheme", "plugin", "display",
	"qwindowgeometry", "geometry", "qwindowtitle", "title", "qwindowicon",
	"icon", "session", "style", "stylesheet"};
const QStringList gui_options_alone = {"reverse", "testability", "widgetcount", "nograb",
				       "dograb"};
// Given as -name=value.
const QStringList gui_options_joined = {"style", "stylesheet", "qmljsdebugger"};

// A GUI option that takes no next argument: alone, or with its value joined.
bool is_gui_option_alone(const QString &name)
{
	return gui_options_alone.contains(name) ||
	       (name.contains('=') && gui_options_joined.contains(name.section('=', 0, 0)));
}

// The option's name without its dashes, or nothing for what is no option.
QString option_name(const QString &argument)
{
	if (argument == "--" || !argument.startsWith('-'))
		return QString();
	return argument.mid(argument.startsWith("--") ? 2 : 1);
}

} // namespace

QStringList without_gui_options(const QStringList &arguments)
{
	QStringList kept;
	for (int i = 0; i < arguments.size(); ++i) {
		const QString name = option_name(arguments[i]);
		if (i > 0 && gui_options_with_value.contains(name)) {
			++i;
			continue;
		}
		if (i > 0 && is_gui_option_alone(name))
			continue;
		kept += arguments[i];
		if (arguments[i] == "--") {
			kept += arguments.mid(i + 1);
			break;
		}
	}
	return kept;
}

CommandLine read_command_line(int argc, char *argv[])
{
	// A core application needs no display, and lends the parser the
	// program's name for its help; it takes its own arguments from a copy.
	std::vector<char *> core_argv(argv, argv + argc + 1);
	int core_argc = argc;
	QCoreApplication core(core_argc, core_argv.data());
	return read_command_line(without_gui_options(QCoreApplication::arguments()));
}

CommandLine read_command_line(const QStringList &arguments)
{
	CommandLine line;
	QCommandLineParser parser;
	parser.setApplicationDescription(
		"Shows the {module,value} frames arriving on a serial line and drives the servo.");
	const QCommandLineOption help_option({"h", "help"}, "Show this help.");
	const QCommandLineOption port_option(
		"port", "Serial device to listen on (default " + line.options.port + ").", "PATH",
		line.options.port);
	const QCommandLineOption baud_option(
		"baud", "Line speed: 2400, 4800, 9600 or 115200 (default 9600).", "N",
		QString::number(line.options.baud));
	const QCommandLineOption servo_option(
		"servo", "Servo node the slider writes to (default " + line.options.servo + ").",
		"PATH", line.options.servo);
	const QList<QCommandLineOption> options = {help_option, port_option, baud_option,
						   servo_option};
	parser.addOptions(options);

	if (!parser.parse(arguments)) {
		line.error = parser.errorText();
		return line;
	}
	if (parser.isSet(help_option)) {
		line.help = parser.helpText();
		return line;
	}
	line.error = missing_value_error(parser, options);
	if (!line.error.isEmpty())
		return line;
	if (!parser.positionalArguments().isEmpty()) {
		line.error = "Unexpected argument: " + parser.positionalArguments().first();
		return line;
	}
	line.error = long_path_error(parser, options);
	if (!line.error.isEmpty())
		return line;
	bool number = false;
	const int baud = parser.value(baud_option).toInt(&number);
	if (!number || !supported_baud(baud)) {
		line.error = "Unsupported baud rate: " + parser.value(baud_option) +
			     " (2400, 4800, 9600 or 115200)";
		return line;
	}
	line.options.port = parser.value(port_option);
	line.options.baud = baud;
	line.options.servo = parser.value(servo_option);
	return line;
}

int print_help_or_error(const CommandLine &line)
{
	if (!line.help.isEmpty()) {
		std::fputs(qPrintable(line.help), stdout);
		return EXIT_SUCCESS;
	}
	std::fprintf(stderr, "sensor_panel: %s\nTry 'sensor_panel --help'.\n",
		     qPrintable(line.error));
	return EXIT_FAILURE;
}
