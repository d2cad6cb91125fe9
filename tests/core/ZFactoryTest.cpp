#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "core/ZFactory.h"
#include "core/ZPropertyHolder.h"
#include "core/ZTLink.h"

namespace {

struct Made : ZPropertyHolder {
    bool SetProperty(int32_t id, intptr_t value) override {
        set.emplace_back(id, value);
        return true;
    }
    std::vector<std::pair<int32_t, intptr_t>> set;
    ZTLink* parent = nullptr;
    int32_t firstValue = 0;
};

ZPropertyHolder* MakeOne(void* storage, ZTLink* parent) {
    Made* made = new Made;
    made->parent = parent;
    made->firstValue = *static_cast<uint8_t*>(storage);
    return made;
}

ZPropertyHolder* MakeNothing(void*, ZTLink*) {
    return nullptr;
}

// Swaps in a fresh registry for each test, so descriptors register there.
class CoreFactory : public ::testing::Test {
  protected:
    void SetUp() override { previous_ = ZFactory::SetFactory(&factory_); }
    void TearDown() override { ZFactory::SetFactory(previous_); }
    ZFactory factory_;
    ZFactory* previous_ = nullptr;
};

// A scripted property stream: values for the storage, then (id, value) records.
struct Source : ZPropertySource {
    bool ReadValues(const int32_t* types, int32_t count, uint8_t* storage, size_t size) override {
        typesSeen.assign(types, types + count);
        sizeSeen = size;
        storage[0] = 77;
        return valuesOk;
    }
    void ReleaseValues(const int32_t*, int32_t, uint8_t*, size_t) override { ++released; }
    bool ReadId(int32_t& id) override {
        if (records.empty()) {
            return false;
        }
        id = records.front().first;
        return true;
    }
    bool ReadValue(int32_t, intptr_t& value) override {
        value = records.front().second;
        records.pop_front();
        return value >= 0;  // a negative value stands for a failed read
    }
    std::deque<std::pair<int32_t, intptr_t>> records;
    std::vector<int32_t> typesSeen;
    size_t sizeSeen = 0;
    int released = 0;
    bool valuesOk = true;
};

}  // namespace

TEST_F(CoreFactory, FindsEveryRegisteredKey) {
    EXPECT_EQ(factory_.Find(2048), nullptr);
    ZClassDescriptor scene(2048, 100, nullptr, MakeOne);
    EXPECT_EQ(ZFactory::GetFactory(), &factory_);
    EXPECT_EQ(factory_.Find(2048), &scene);  // alone, at index 0

    // Reference: a linear scan that remembers the latest registration of each key.
    std::vector<std::unique_ptr<ZClassDescriptor>> descriptors;
    const ZClassDescriptor* latest[4096] = {};
    latest[2048] = &scene;
    uint32_t state = 12345;
    for (int i = 0; i < 200; ++i) {
        state = state * 1103515245u + 12345u;
        int32_t id = static_cast<int32_t>((state >> 8) % 9000);
        descriptors.push_back(std::make_unique<ZClassDescriptor>(id, 8, nullptr, MakeOne));
        latest[id & 0xFFF] = descriptors.back().get();
    }
    for (int32_t key = 0; key < 4096; ++key) {
        ASSERT_EQ(factory_.Find(key), latest[key]) << key;
        ASSERT_EQ(factory_.Find(key + 4096), latest[key]) << key;
    }
    for (int32_t i = 1; i < factory_.GetCount(); ++i) {
        EXPECT_LE(factory_.GetEntry(i - 1)->GetLookupKey(), factory_.GetEntry(i)->GetLookupKey());
    }
}

TEST_F(CoreFactory, LaterRegistrationComesFirstAndFullRegistryRefuses) {
    ZClassDescriptor first(7, 8, nullptr, MakeOne);
    ZClassDescriptor second(7, 8, nullptr, MakeOne);
    ZClassDescriptor wide(4096 + 7, 8, nullptr, MakeOne);
    EXPECT_EQ(factory_.GetEntry(0), &wide);
    EXPECT_EQ(factory_.GetEntry(1), &second);
    EXPECT_EQ(factory_.Find(7), &wide);

    std::vector<std::unique_ptr<ZClassDescriptor>> more;
    while (factory_.GetCount() < ZFactory::kMaxClasses) {
        more.push_back(std::make_unique<ZClassDescriptor>(100 + factory_.GetCount(), 8, nullptr, MakeOne));
    }
    ZClassDescriptor extra(3000, 8, nullptr, MakeOne);
    EXPECT_EQ(factory_.GetCount(), ZFactory::kMaxClasses);
    EXPECT_EQ(factory_.Find(3000), nullptr);
    EXPECT_FALSE(factory_.Register(&extra));
}

TEST_F(CoreFactory, CreateWithAndWithoutSource) {
    ZTLink parent;
    ZClassDescriptor plain(2048, 100, nullptr, MakeOne);
    const int32_t types[] = {4, 2, kPropertyIndirect | 0x40, 0};
    ZClassDescriptor typed(300, 100, types, MakeOne);
    ZClassDescriptor failing(301, 100, nullptr, MakeNothing);
    EXPECT_EQ(typed.GetInstanceDataSize(), 10u);

    EXPECT_EQ(factory_.Create(nullptr, nullptr, &parent), nullptr);
    EXPECT_EQ(factory_.Create(&typed, nullptr, &parent), nullptr);  // needs values nobody has
    EXPECT_EQ(factory_.Create(&failing, nullptr, &parent), nullptr);
    std::unique_ptr<ZPropertyHolder> object(factory_.Create(&plain, nullptr, &parent));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(static_cast<Made*>(object.get())->parent, &parent);

    Source source;
    source.records = {{1, 10}, {8, 80}, {9, 90}, {2, 20}};  // id 9 has no type: the stream ends
    factory_.SetDefaultSource(&source);
    std::unique_ptr<ZPropertyHolder> made(factory_.Create(&typed, nullptr, nullptr));
    ASSERT_NE(made, nullptr);
    Made* m = static_cast<Made*>(made.get());
    EXPECT_EQ(m->firstValue, 77);
    EXPECT_EQ(source.typesSeen, std::vector<int32_t>({4, 2, kPropertyIndirect | 0x40}));
    EXPECT_EQ(source.sizeSeen, 10u);
    EXPECT_EQ(source.released, 1);
    EXPECT_EQ(m->set, (std::vector<std::pair<int32_t, intptr_t>>{{1, 10}, {8, 80}}));

    Source broken;
    broken.records = {{3, 30}, {4, -1}, {5, 50}};
    std::unique_ptr<ZPropertyHolder> partial(factory_.Create(&plain, &broken, nullptr));
    EXPECT_EQ(static_cast<Made*>(partial.get())->set, (std::vector<std::pair<int32_t, intptr_t>>{{3, 30}}));
    broken.valuesOk = false;
    EXPECT_EQ(factory_.Create(&plain, &broken, nullptr), nullptr);
}

TEST_F(CoreFactory, DestroyingTheCurrentFactoryResetsTheAccessor) {
    auto temporary = std::make_unique<ZFactory>();
    EXPECT_EQ(ZFactory::SetFactory(temporary.get()), &factory_);
    EXPECT_EQ(ZFactory::GetFactory(), temporary.get());
    temporary.reset();
    ZFactory* process = ZFactory::GetFactory();
    EXPECT_NE(process, nullptr);
    EXPECT_NE(process, &factory_);
    ZFactory::SetFactory(&factory_);
}
