#include <QtTest>
class SearchWindowTest : public QObject { Q_OBJECT };
QTEST_MAIN(SearchWindowTest)
#include "SearchWindowTest.moc"
