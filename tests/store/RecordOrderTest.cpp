// The blocked sequence of record numbers behind every tag's order and the
// delivered view: against a plain vector through inserts and erases that
// fill, split and empty blocks, with and without the record-to-block map.

#include <QTest>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "RecordOrder.h"

using store::RecordOrder;

namespace {

// Every way of reading the sequence agrees with the reference.
void ExpectSame(const RecordOrder& order, const std::vector<uint32_t>& expected, uint32_t universe) {
    QCOMPARE(order.size(), expected.size());
    QCOMPARE(order.empty(), expected.empty());
    QVERIFY(order.Flat() == expected);
    QVERIFY(std::vector<uint32_t>(order.begin(), order.end()) == expected);
    // By position, forwards, backwards and jumping between blocks.
    for (size_t i = 0; i < expected.size(); ++i) QCOMPARE(order[i], expected[i]);
    for (size_t i = expected.size(); i-- > 0;) QCOMPARE(order[i], expected[i]);
    for (size_t i = 0; i < expected.size(); i += 997) QCOMPARE(order[expected.size() - 1 - i], expected[expected.size() - 1 - i]);
    std::vector<size_t> placeOf(universe, expected.size());
    for (size_t i = 0; i < expected.size(); ++i) placeOf[expected[i]] = i;
    for (uint32_t r = 0; r < universe; r += 7) QCOMPARE(order.Find(r), placeOf[r]);
    QCOMPARE(order.Find(universe + 5), expected.size());
}

}  // namespace

class RecordOrderTest : public QObject {
    Q_OBJECT

private slots:
    void followsAVectorThroughChanges_data() {
        QTest::addColumn<bool>("locatable");
        QTest::newRow("plain") << false;
        QTest::newRow("locatable") << true;
    }

    // Records go in at the front, the back, a block's first place and
    // anywhere, until blocks split; then they go out until blocks empty
    // and the sequence is empty; then it fills again.
    void followsAVectorThroughChanges() {
        QFETCH(bool, locatable);
        constexpr uint32_t kUniverse = 30000;
        std::vector<uint32_t> unused(kUniverse);
        std::iota(unused.begin(), unused.end(), 0u);
        std::mt19937 rng(17);
        std::shuffle(unused.begin(), unused.end(), rng);

        RecordOrder order(locatable);
        std::vector<uint32_t> expected;
        // Laid out from a whole sequence first: 5000 records in two blocks.
        expected.assign(unused.end() - 5000, unused.end());
        unused.resize(unused.size() - 5000);
        order.Assign(expected);
        ExpectSame(order, expected, kUniverse);

        auto put = [&](size_t pos) {
            const uint32_t r = unused.back();
            unused.pop_back();
            order.insert(pos, r);
            expected.insert(expected.begin() + long(pos), r);
        };
        for (int i = 0; i < 12000; ++i) {
            const size_t n = expected.size();
            switch (i % 6) {
            case 0: put(0); break;
            case 1: put(n); break;
            case 2: put(n / 2); break;  // one place, again and again: its block splits
            case 3: put(n / 2); break;
            default: put(size_t(rng() % (n + 1))); break;
            }
            if (i % 3000 == 0) ExpectSame(order, expected, kUniverse);
        }
        ExpectSame(order, expected, kUniverse);

        auto take = [&](size_t pos) {
            unused.push_back(expected[pos]);
            order.erase(pos);
            expected.erase(expected.begin() + long(pos));
        };
        // A run out of the middle empties whole blocks.
        for (int i = 0; i < 6000; ++i) take(expected.size() / 3);
        ExpectSame(order, expected, kUniverse);
        while (!expected.empty()) {
            const size_t n = expected.size();
            switch (n % 3) {
            case 0: take(0); break;
            case 1: take(n - 1); break;
            default: take(size_t(rng() % n)); break;
            }
            if (n % 2500 == 0) ExpectSame(order, expected, kUniverse);
        }
        ExpectSame(order, expected, kUniverse);

        // Empty, then filled again from the back and from the front.
        for (int i = 0; i < 5000; ++i) {
            const uint32_t r = unused.back();
            unused.pop_back();
            if (i % 2) {
                order.push_back(r);
                expected.push_back(r);
            } else {
                order.insert(0, r);
                expected.insert(expected.begin(), r);
            }
        }
        ExpectSame(order, expected, kUniverse);
        order.clear();
        ExpectSame(order, {}, kUniverse);
    }

    // Records in file order: the place of the first not below a number,
    // in every block and past the last.
    void lowerBoundInFileOrder() {
        std::vector<uint32_t> records;
        for (uint32_t r = 0; r < 20000; r += 2) records.push_back(r);
        RecordOrder order;
        order.Assign(records);
        for (uint32_t r = 0; r < 20003; ++r) {
            const size_t want = size_t(std::lower_bound(records.begin(), records.end(), r) - records.begin());
            QCOMPARE(order.LowerBound(r), want);
        }
        order.clear();
        QCOMPARE(order.LowerBound(7), size_t(0));
    }

    // The sequence in one piece is made again after every kind of change.
    void theWholeSequenceFollowsEveryChange() {
        RecordOrder order(true);
        order.Assign({1, 2, 3});
        QVERIFY(order.Flat() == (std::vector<uint32_t>{1, 2, 3}));
        order.insert(1, 9);
        QVERIFY(order.Flat() == (std::vector<uint32_t>{1, 9, 2, 3}));
        order.erase(0);
        QVERIFY(order.Flat() == (std::vector<uint32_t>{9, 2, 3}));
        order.push_back(4);
        QVERIFY(order.Flat() == (std::vector<uint32_t>{9, 2, 3, 4}));
        QCOMPARE(order.Find(1), order.size());  // gone from the map too
        order.Assign({5});
        QVERIFY(order.Flat() == (std::vector<uint32_t>{5}));
        QCOMPARE(order.Find(9), order.size());
        order.clear();
        QVERIFY(order.Flat().empty());
    }
};

QTEST_GUILESS_MAIN(RecordOrderTest)
#include "RecordOrderTest.moc"
