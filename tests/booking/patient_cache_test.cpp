#include "booking/patient_cache.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/error.h"

namespace vorel {
namespace {

struct Row {
  int32_t kl;
  std::string fiol;
  std::string npol;
};

void Load(PatientCache& cache, const std::vector<Row>& rows) {
  cache.BeginLoad();
  int32_t n = 1;
  for (const Row& r : rows) {
    pac_rec& rec = cache.PrepareSlot(n);
    rec.kl = r.kl;
    rec.fiol = cache.Keep(r.fiol);
    rec.npol = cache.Keep(r.npol);
    cache.CommitSlot(n);
    ++n;
  }
  cache.FinishLoad(n - 1);
}

// Texts of any length are kept whole in the cache's store, a copy of a piece of a kept text included, and
// stay in place while the slots grow and the cache moves, until the next load.
TEST(PatientCacheTest, KeepsTextsOfAnyLengthWholeUntilTheNextLoad) {
  auto cache = std::make_unique<PatientCache>();
  cache->BeginLoad();
  const std::string longText(300, 'x');
  std::vector<std::string_view> kept;
  for (int32_t n = 1; n <= 2000; ++n) {
    pac_rec& rec = cache->PrepareSlot(n);
    rec.fiol = cache->Keep(n % 2 ? longText : "fam" + std::to_string(n));
    rec.npol = cache->Keep(rec.fiol.view().substr(1));
    EXPECT_TRUE(cache->Keep("").empty());
    cache->CommitSlot(n);
    kept.push_back(rec.npol.view());
  }
  cache->FinishLoad(2000);
  const PatientCache moved(std::move(*cache));
  cache.reset();
  EXPECT_EQ(moved.slot(1).fiol.view(), longText);
  EXPECT_EQ(moved.slot(1).npol.view(), longText.substr(1));
  EXPECT_EQ(moved.slot(2000).npol.view(), "am2000");
  EXPECT_EQ(moved.slot(2000).npol.view().data(), kept.back().data());
  EXPECT_EQ(moved.FindPatientsByNameAndPolicy("fam1000", "am1000").size(), 1u);
}

TEST(PatientCacheTest, IndexesAgreeWithScansOnDuplicatesAndCollisions) {
  std::mt19937 rng(7);
  std::vector<Row> rows;
  for (int i = 0; i < 20000; ++i) {
    // Few distinct values, so ids, surnames and policy numbers repeat often.
    rows.push_back({static_cast<int32_t>(rng() % 3000) + 1, "fam" + std::to_string(rng() % 300),
                    std::to_string(rng() % 40)});
  }
  PatientCache cache;
  Load(cache, rows);
  ASSERT_EQ(cache.count(), 20000);
  for (int32_t id = -2; id < 3100; ++id) {
    ASSERT_EQ(cache.FindPatientById(id), cache.ScanPatientById(id)) << id;
  }
  for (int f = 0; f < 310; f += 3) {
    for (int p = 0; p < 42; p += 5) {
      const std::string fam = "fam" + std::to_string(f), pol = std::to_string(p);
      ASSERT_EQ(cache.FindPatientsByNameAndPolicy(fam, pol), cache.ScanPatientsByNameAndPolicy(fam, pol));
    }
  }
  // Texts that only differ in where one ends and the other begins are different keys.
  EXPECT_TRUE(cache.FindPatientsByNameAndPolicy("fam1", "23").size() !=
                  cache.FindPatientsByNameAndPolicy("fam12", "3").size() ||
              cache.FindPatientsByNameAndPolicy("fam1", "23") !=
                  cache.FindPatientsByNameAndPolicy("fam12", "3"));
}

TEST(PatientCacheTest, DuplicateIdsGiveTheLowerSlotAndNamesComeInSlotOrder) {
  PatientCache cache;
  Load(cache, {{5, "a", "1"}, {7, "b", "2"}, {5, "c", "3"}, {9, "b", "2"}});
  ASSERT_NE(cache.FindPatientById(5), nullptr);
  EXPECT_EQ(cache.FindPatientById(5), &cache.slot(1));
  const auto both = cache.FindPatientsByNameAndPolicy("b", "2");
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0], &cache.slot(2));
  EXPECT_EQ(both[1], &cache.slot(4));
  EXPECT_TRUE(cache.FindPatientsByNameAndPolicy("B", "2").empty());
  EXPECT_TRUE(cache.FindPatientsByNameAndPolicy("b ", "2").empty());
}

TEST(PatientCacheTest, ALoadThatNeverFinishesLeavesTheCacheEmpty) {
  PatientCache cache;
  Load(cache, {{1, "a", "1"}});
  cache.BeginLoad();
  cache.PrepareSlot(1).kl = 8;
  cache.CommitSlot(1);
  EXPECT_EQ(cache.count(), 0);
  EXPECT_EQ(cache.FindPatientById(8), nullptr);
  EXPECT_EQ(cache.FindPatientById(1), nullptr);
}

TEST(PatientCacheTest, GrowsPastOneMillionPatients) {
  PatientCache cache;
  cache.BeginLoad();
  const int32_t total = 1000005;
  for (int32_t n = 1; n <= total; ++n) {
    cache.PrepareSlot(n).kl = n;
    cache.CommitSlot(n);
  }
  cache.FinishLoad(total);
  EXPECT_EQ(cache.count(), total);
  ASSERT_NE(cache.FindPatientById(total), nullptr);
  EXPECT_EQ(cache.FindPatientById(total)->kl, total);
  EXPECT_THROW(cache.PrepareSlot(total + 5), Error);
}

TEST(PatientCacheTest, ReloadIsDueAfterTheLargerOf30MinutesAndCountDiv1000) {
  using std::chrono::minutes;
  PatientCache cache;
  const Clock::TimePoint now = std::chrono::system_clock::now();
  EXPECT_TRUE(PatientReloadDue(cache, now));  // never loaded
  cache.timeOfLastLoad = now - minutes(30);
  EXPECT_FALSE(PatientReloadDue(cache, now));
  cache.timeOfLastLoad = now - minutes(31);
  EXPECT_TRUE(PatientReloadDue(cache, now));
  std::vector<Row> rows(90000, Row{1, "a", "1"});
  Load(cache, rows);
  cache.timeOfLastLoad = now - minutes(90);
  EXPECT_FALSE(PatientReloadDue(cache, now));
  cache.timeOfLastLoad = now - minutes(91);
  EXPECT_TRUE(PatientReloadDue(cache, now));
}

}  // namespace
}  // namespace vorel
