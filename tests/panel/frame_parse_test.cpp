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
	QTest::addColumn<bool>("taken");

	QTest::newRow("well formed") << QByteArray("{ab,12}") << true;
	QTest::newRow("longest frame, 20 bytes") << QByteArray("{abcdefghi,12345678}") << true;
	QTest::newRow("no comma") << QByteArray("{ab}") << false;
	QTest::newRow("second comma") << QByteArray("{ab,1,2}") << false;
	QTest::newRow("empty module") << QByteArray("{,12}") << false;
	QTest::newRow("empty value") << QByteArray("{ab,}") << false;
	QTest::newRow("line ending before the brace") << QByteArray("\n{ab,12}") << false;
	QTest::newRow("brace inside the value") << QByteArray("{ab,1{2}") << false;
	QTest::newRow("bytes after the closing brace") << QByteArray("{ab,12}x") << false;
	QTest::newRow("no closing brace") << QByteArray("{ab,12") << false;
	QTest::newRow("stray brace") << QByteArray("}") << false;
	QTest::newRow("empty text") << QByteArray("") << false;
	QTest::newRow("module of 10 bytes") << QByteArray("{abcdefghij,1}") << false;
	QTest::newRow("value of 9 bytes") << QByteArray("{ab,123456789}") << false;
}

// A frame fills both fields, anything else neither: the fields of a
// previous frame {old,7} stay whole.
void FrameParseTest::fills_fields()
{
	QFETCH(QByteArray, text);
	QFETCH(bool, taken);

	// The fields are exactly field-sized: AddressSanitizer reports any write
	// past them.
	char module_field[frame_field_size] = "old";
	char value_field[frame_field_size] = "7}";

	QCOMPARE(parse_frame(text.constData(), module_field, value_field), taken);

	const QByteArray fields = "{" + QByteArray(module_field) + "," + QByteArray(value_field);
	QCOMPARE(fields, taken ? text : QByteArray("{old,7}"));
}

QTEST_APPLESS_MAIN(FrameParseTest)
#include "frame_parse_test.moc"
