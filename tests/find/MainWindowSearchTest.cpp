#include <QtTest>
class MainWindowSearchTest : public QObject { Q_OBJECT };
QTEST_MAIN(MainWindowSearchTest)
#include "MainWindowSearchTest.moc"
