#include <QtTest>
class LocateTest : public QObject { Q_OBJECT };
QTEST_MAIN(LocateTest)
#include "LocateTest.moc"
