// The frame parse: which field each text fills, and what it leaves alone.
#include <QtTest>

#include "frame_parse.h"

class FrameParseTest : public QObject {
	Q_OBJECT

private slots:
	void fills_fields_data();
	void fills_fields();
};

void FrameParseTest::fills_fields_data()
{
	QTest::addColumn<QByteArray>("text");
	QTest::addColumn<QByteArray>("module");
	QTest::addColumn<QByteArray>("value");

	// Each text is parsed over the fields of a previous frame {old,7}.
	QTest::newRow("well formed") << QByteArray("{ab,12}") << QByteArray("ab") << QByteArray("12}");
	QTest::newRow("no comma takes the brace into the module")
		<< QByteArray("{ab}") << QByteArray("ab}") << QByteArray("7}");
	QTest::newRow("second comma ends the value")
		<< QByteArray("{ab,1,2}") << QByteArray("ab") << QByteArray("1");
	QTest::newRow("empty module") << QByteArray("{,12}") << QByteArray("old") << QByteArray("7}");
	QTest::newRow("empty value keeps the brace")
		<< QByteArray("{ab,}") << QByteArray("ab") << QByteArray("}");
	QTest::newRow("empty value before a comma")
		<< QByteArray("{ab,,1}") << QByteArray("ab") << QByteArray("7}");
	QTest::newRow("line ending before the brace")
		<< QByteArray("\n{ab,12}") << QByteArray("old") << QByteArray("7}");
	QTest::newRow("stray brace") << QByteArray("}") << QByteArray("old") << QByteArray("7}");
	QTest::newRow("empty text") << QByteArray("") << QByteArray("old") << QByteArray("7}");
	QTest::newRow("longest frame, 20 bytes")
		<< QByteArray("{abcdefghi,12345678}") << QByteArray("abcdefghi")
		<< QByteArray("12345678}");
	QTest::newRow("module of 10 bytes")
		<< QByteArray("{abcdefghij,1}") << QByteArray("old") << QByteArray("7}");
	QTest::newRow("module of 10 bytes without comma")
		<< QByteArray("{abcdefghi}") << QByteArray("old") << QByteArray("7}");
	QTest::newRow("value of 10 bytes with its brace")
		<< QByteArray("{ab,123456789}") << QByteArray("ab") << QByteArray("7}");
	QTest::newRow("long value after the second comma is not looked at")
		<< QByteArray("{ab,1,23456789012345}") << QByteArray("ab") << QByteArray("1");
}

void FrameParseTest::fills_fields()
{
	QFETCH(QByteArray, text);
	QFETCH(QByteArray, module);
	QFETCH(QByteArray, value);

	// The fields are exactly field-sized: AddressSanitizer reports any write
	// past them.
	char module_field[frame_field_size] = "old";
	char value_field[frame_field_size] = "7}";

	parse_frame(text.constData(), module_field, value_field);

	QCOMPARE(QByteArray(module_field), module);
	QCOMPARE(QByteArray(value_field), value);
}

QTEST_APPLESS_MAIN(FrameParseTest)
#include "frame_parse_test.moc"
