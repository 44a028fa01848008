// The Drive Information page's frame table, layout, selection and tick over fake frames and
// functional disks that no device backs, and the values a frame shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "shell/diskinfoframeutil.h"
#include "shell/mainpagesutil.h"
#include "shell/pagessdutil.h"

namespace tvd {
namespace {

std::u16string English(int id) {
    switch (id) {
    case 21100:
        return u"Drive Health";
    case 21101:
        return u"Temperature";
    case 21102:
        return u"Remaining lifetime";
    case 21103:
        return u"Model";
    case 21104:
        return u"Firmware version";
    case 21105:
        return u"Serial number";
    case 21107:
        return u"Total Bytes Written";
    case 21109:
        return u"S.M.A.R.T. Details";
    case 21113:
        return u"S.M.A.R.T.";
    case 21114:
        return u"Drive Details";
    case 21115:
        return u"Good";
    case 21117:
        return u"Bad";
    case 22019:
        return u"Capacity";
    default:
        return {};
    }
}

struct FrameLog {
    int top = -1;
    bool visible = false;
    bool marker = false;
    clFunDisk* disk = nullptr;
    int texts = 0, smart = 0, bars = 0;
    DiskFrameTexts lastTexts;
    DiskSmartView lastSmart;
};

class FakeFrame final : public DiskFrameView {
public:
    explicit FakeFrame(FrameLog* log) : log_(log) {}
    void SetTop(int top) override { log_->top = top; }
    void SetVisible(bool v) override { log_->visible = v; }
    void SetMarker(bool v) override { log_->marker = v; }
    void ShowTexts(const DiskFrameTexts& t) override {
        ++log_->texts;
        log_->lastTexts = t;
    }
    void ShowSmart(const DiskSmartView& v) override {
        ++log_->smart;
        log_->lastSmart = v;
    }
    void ShowBar(const CapacityBarView&) override { ++log_->bars; }
    void SetDisk(clFunDisk* d) override { log_->disk = d; }

private:
    FrameLog* log_;
};

class FakeHost final : public PageSsdHost {
public:
    std::unique_ptr<DiskFrameView> CreateFrame() override {
        if (failCreate) return nullptr;
        logs.push_back(std::make_unique<FrameLog>());
        return std::make_unique<FakeFrame>(logs.back().get());
    }
    void ShowContent(bool v) override { content = v; }
    void SetScroll(int r, bool shown) override {
        range = r;
        barShown = shown;
    }
    void ScrollTo(int p) override { position = p; }
    void DiskLeaving(clFunDisk* d) override { leaving.push_back(d); }

    std::vector<std::unique_ptr<FrameLog>> logs;
    bool failCreate = false;
    bool content = false;
    int range = -1, position = 0;
    bool barShown = false;
    std::vector<clFunDisk*> leaving;
};

const MenuEntry kEntry{"clPageSsd", "Ssd", 21001, "IMG_MENU_SSD_N", "IMG_MENU_SSD_S", 76};

class PageSsdTest : public ::testing::Test {
protected:
    PageSsdTest()
        : page(
              kEntry, &host, English, [this] { return Order(); }, [this] { return selected; }) {}

    // The registry's order: by disk number.
    std::vector<clFunDisk*> Order() {
        std::vector<clFunDisk*> out;
        for (auto& d : registry)
            out.push_back(d.Get());
        std::stable_sort(out.begin(), out.end(),
                         [](clFunDisk* a, clFunDisk* b) { return a->diskNumber < b->diskNumber; });
        return out;
    }

    clFunDisk* Plug(std::uint32_t number) {
        ZoltRef<clFunDisk> d = MakeZoltRef<clFunDisk>(nullptr);
        d->diskNumber = number;
        d->displayModel = "Disk " + std::to_string(number);
        d->model = d->displayModel;
        registry.push_back(d);
        EXPECT_TRUE(page.AddDiskFrame(d.Get()));
        return d.Get();
    }
    void Unplug(clFunDisk* d) {
        ZoltRef<clFunDisk> hold(d);
        registry.erase(std::find(registry.begin(), registry.end(), d));
        page.RemoveDiskFrame(d);
    }
    const FrameLog& LogOf(clFunDisk* d) {
        for (auto& l : host.logs)
            if (l->disk == d) return *l;
        static FrameLog none;
        ADD_FAILURE() << "no frame";
        return none;
    }

    FakeHost host;
    std::vector<ZoltRef<clFunDisk>> registry;
    clFunDisk* selected = nullptr;
    clPageSsd page;
};

TEST_F(PageSsdTest, FramesStackInRegistryOrderAndScrollPastTwo) {
    struct Step {
        std::uint32_t number;
        int range;
        bool bar;
    };
    // Range is 310 x frames - 631 from the third frame on.
    const Step steps[] = {{0, 0, false}, {1, 0, false}, {2, 299, true}, {3, 609, true}};
    std::vector<clFunDisk*> disks;
    for (const Step& s : steps) {
        disks.push_back(Plug(s.number));
        EXPECT_EQ(host.range, s.range) << s.number;
        EXPECT_EQ(host.barShown, s.bar) << s.number;
    }
    for (std::size_t i = 0; i < disks.size(); ++i) {
        EXPECT_EQ(LogOf(disks[i]).top, static_cast<int>(310 * i));
        EXPECT_TRUE(LogOf(disks[i]).visible);
    }
    EXPECT_EQ(page.Capacity(), 4u);
    EXPECT_EQ(page.FramesInUse(), 4);

    // A disk with a lower number than all arriving last still goes first.
    Unplug(disks[0]);
    clFunDisk* low = Plug(0);
    EXPECT_EQ(LogOf(low).top, 0);
    EXPECT_EQ(LogOf(disks[1]).top, 310);
    EXPECT_EQ(host.logs.size(), 4u); // the spare was reused
}

TEST_F(PageSsdTest, RemovalMovesFramesUpAndKeepsTheSpare) {
    clFunDisk* a = Plug(0);
    clFunDisk* b = Plug(1);
    clFunDisk* c = Plug(2);
    const FrameLog* aLog = &LogOf(a);
    ZoltRef<clFunDisk> keepA(a);
    Unplug(a);
    EXPECT_EQ(host.leaving, std::vector<clFunDisk*>{a});
    EXPECT_EQ(LogOf(b).top, 0);
    EXPECT_EQ(LogOf(c).top, 310);
    EXPECT_FALSE(aLog->visible);
    EXPECT_EQ(aLog->disk, nullptr);
    EXPECT_EQ(host.range, 0);
    EXPECT_FALSE(host.barShown);
    ASSERT_EQ(page.FramesInUse(), 2);
    // In-use frames first, then the spare, then never-used entries.
    EXPECT_EQ(page.SlotAt(0).disk.Get(), b);
    EXPECT_EQ(page.SlotAt(1).disk.Get(), c);
    EXPECT_TRUE(page.SlotAt(2).view && !page.SlotAt(2).disk);
    EXPECT_FALSE(page.SlotAt(3).view);
    // The frame let go of the disk: only the test holds it now.
    EXPECT_EQ(a->RefCount(), 1);
    clFunDisk* d = Plug(3);
    EXPECT_EQ(&LogOf(d), aLog);
    EXPECT_EQ(host.logs.size(), 3u);
    EXPECT_EQ(aLog->top, 620);
}

TEST_F(PageSsdTest, TableGrowsByFourAndSurvivesAFailedGrowth) {
    std::vector<clFunDisk*> disks;
    for (std::uint32_t n = 0; n < 4; ++n)
        disks.push_back(Plug(n));
    page.SetTableAllocator([](std::vector<clPageSsd::Slot>&, std::size_t) { return false; });
    ZoltRef<clFunDisk> extra = MakeZoltRef<clFunDisk>(nullptr);
    extra->diskNumber = 9;
    EXPECT_FALSE(page.AddDiskFrame(extra.Get()));
    EXPECT_EQ(page.Capacity(), 4u);
    EXPECT_EQ(page.FramesInUse(), 4);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(page.SlotAt(i).disk.Get(), disks[i]);

    page.SetTableAllocator([](std::vector<clPageSsd::Slot>& v, std::size_t n) {
        v.reserve(n);
        return true;
    });
    Plug(4);
    EXPECT_EQ(page.Capacity(), 8u);
    EXPECT_EQ(page.FramesInUse(), 5);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(page.SlotAt(i).disk.Get(), disks[i]);
    EXPECT_FALSE(page.SlotAt(5).view);
}

TEST_F(PageSsdTest, FrameThatCannotBeMadeLeavesTheOthers) {
    clFunDisk* a = Plug(0);
    host.failCreate = true;
    ZoltRef<clFunDisk> b = MakeZoltRef<clFunDisk>(nullptr);
    b->diskNumber = 1;
    EXPECT_FALSE(page.AddDiskFrame(b.Get()));
    EXPECT_EQ(page.FramesInUse(), 1);
    EXPECT_EQ(LogOf(a).top, 0);
    EXPECT_EQ(page.AddDiskFrame(a), true); // already there
    EXPECT_EQ(page.FramesInUse(), 1);
}

TEST_F(PageSsdTest, SelectionFollowsTheDiskNotAStaleIndex) {
    clFunDisk* a = Plug(0);
    clFunDisk* b = Plug(1);
    clFunDisk* c = Plug(2);
    clFunDisk* d = Plug(3);
    selected = d;
    page.DriveChanged();
    EXPECT_EQ(page.SelectedIndex(), 3);
    EXPECT_TRUE(LogOf(d).marker);
    EXPECT_FALSE(LogOf(a).marker);
    EXPECT_EQ(host.position, 609); // top 930 limited to the range
    selected = b;
    page.DriveChanged();
    EXPECT_EQ(host.position, 310);
    EXPECT_TRUE(LogOf(b).marker);
    EXPECT_FALSE(LogOf(d).marker);

    // A frame before the selected one goes: the selection stays on its disk, not on entry 1.
    Unplug(a);
    EXPECT_EQ(page.Selected(), b);
    EXPECT_EQ(page.SelectedIndex(), 0);
    EXPECT_TRUE(LogOf(b).marker);
    EXPECT_FALSE(LogOf(c).marker);
    EXPECT_EQ(host.range, 299);
    EXPECT_EQ(host.position, 299); // 310 limited to the smaller range

    // The selected disk itself goes: nothing stays marked and nothing holds it.
    Unplug(b);
    EXPECT_EQ(page.Selected(), nullptr);
    EXPECT_EQ(page.SelectedIndex(), -1);
    EXPECT_EQ(host.position, 0);
    for (auto& l : host.logs)
        EXPECT_FALSE(l->marker);
}

TEST_F(PageSsdTest, EnterAppliesTheSelectionWithoutScrolling) {
    Plug(0);
    Plug(1);
    clFunDisk* c = Plug(2);
    selected = c;
    page.Enter();
    EXPECT_TRUE(host.content);
    EXPECT_TRUE(LogOf(c).marker);
    EXPECT_EQ(host.position, 0);
    page.Leave();
    EXPECT_FALSE(host.content);
}

TEST_F(PageSsdTest, TickUpdatesEveryEleventhCallAndRedrawsOnlyNewFigures) {
    clFunDisk* a = Plug(0);
    const FrameLog& log = LogOf(a);
    EXPECT_EQ(log.texts, 1);
    EXPECT_EQ(log.smart, 1);
    EXPECT_EQ(log.bars, 1);
    EXPECT_TRUE(a->smart.updated); // the refresh asks the next update to redraw
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(page.Tick());
    EXPECT_EQ(log.bars, 1);
    page.Tick(); // the eleventh
    EXPECT_EQ(log.bars, 2);
    EXPECT_EQ(log.smart, 2);
    EXPECT_FALSE(a->smart.updated);
    for (int i = 0; i < 11; ++i)
        page.Tick();
    EXPECT_EQ(log.bars, 3);
    EXPECT_EQ(log.smart, 2); // no new figures: the gauges stay
    a->smart.updated = true;
    a->smart.temperature = 51;
    a->smart.smart = nullptr;
    for (int i = 0; i < 11; ++i)
        page.Tick();
    EXPECT_EQ(log.smart, 3);
    page.RefreshTexts();
    EXPECT_EQ(log.texts, 2);
}

TEST_F(PageSsdTest, FramesChangeOnTheWindowThreadOnly) {
    Plug(0);
    ZoltRef<clFunDisk> b = MakeZoltRef<clFunDisk>(nullptr);
    b->diskNumber = 1;
    bool added = true;
    auto fromOtherThread = [&] {
        std::thread t([&] { added = page.AddDiskFrame(b.Get()); });
        t.join();
    };
    // Debug builds stop at the assertion; others refuse the call.
    EXPECT_DEBUG_DEATH(fromOtherThread(), "window thread");
#ifdef NDEBUG
    EXPECT_FALSE(added);
    EXPECT_EQ(page.FramesInUse(), 1);
#endif
}

TEST(PageSsdRegistryOrder, EmptyRegistryGivesNoDisks) {
    EXPECT_TRUE(RegistryDiskOrder().empty());
}

// --- values of one frame ---

TEST(DiskFrameValues, GaugeCoverAngles) {
    struct Case {
        int value;
        bool visible;
        int end;
    };
    const Case cases[] = {
        {100, false, 90}, {130, false, 90}, {75, true, 180}, {50, true, 270}, {25, true, 360},
        {10, true, 54},   {1, true, 86},    {0, true, 90},   {-3, true, 90},
    };
    for (const Case& c : cases) {
        const GaugeCover g = GaugeCoverFor(c.value);
        EXPECT_EQ(g.visible, c.visible) << c.value;
        EXPECT_EQ(g.startAngle, 90) << c.value;
        if (c.visible) {
            EXPECT_EQ(g.endAngle, c.end) << c.value;
        }
    }
}

TEST(DiskFrameValues, TemperatureGauge) {
    struct Case {
        bool smart;
        int temperature;
        const char16_t* text;
        int value;
        bool cover;
        int end;
    };
    const Case cases[] = {
        {true, 45, u"45 \u00B0C", 45, true, 288},   {true, -1000, u"N/A", 0, true, 90},
        {true, -32768, u"N/A", 0, true, 90},        {true, 120, u"120 \u00B0C", 100, false, 0},
        {true, -5, u"-5 \u00B0C", 0, true, 90},     {false, 45, u"N/A", 0, true, 90},
        {true, 100, u"100 \u00B0C", 100, false, 0},
    };
    for (const Case& c : cases) {
        DiskFigures f;
        f.hasSmart = c.smart;
        f.temperature = c.temperature;
        const ValueGauge g = TemperatureGauge(f);
        EXPECT_EQ(g.text, c.text) << c.temperature;
        EXPECT_EQ(g.value, c.value) << c.temperature;
        EXPECT_EQ(g.cover.visible, c.cover) << c.temperature;
        if (c.cover) {
            EXPECT_EQ(g.cover.endAngle, c.end) << c.temperature;
        }
    }
}

TEST(DiskFrameValues, LifeGauge) {
    struct Case {
        bool smart;
        int life;
        const char16_t* text;
        int value;
        bool cover;
        int end;
    };
    const Case cases[] = {
        {true, 100, u"100 %", 100, false, 90}, {true, 75, u"75 %", 75, true, 180},
        {true, 0, u"0 %", 0, true, 90},        {true, 130, u"100 %", 100, false, 90},
        {true, -3, u"0 %", 0, true, 90},       {true, -1000, u"N/A", 0, true, 90},
        {true, -32768, u"N/A", 0, true, 90},   {false, 75, u"N/A", 100, false, 90},
    };
    for (const Case& c : cases) {
        DiskFigures f;
        f.hasSmart = c.smart;
        f.life = c.life;
        const ValueGauge g = LifeGauge(f);
        EXPECT_EQ(g.text, c.text) << c.life;
        EXPECT_EQ(g.value, c.value) << c.life;
        EXPECT_EQ(g.cover.visible, c.cover) << c.life;
        if (c.cover) {
            EXPECT_EQ(g.cover.endAngle, c.end) << c.life;
        }
    }
}

TEST(DiskFrameValues, HealthGauge) {
    struct Case {
        int state;
        const char16_t* text;
        const char* back;
    };
    const Case cases[] = {{0, u"N/A", nullptr},
                          {1, u"Good", "IMG_CIRCLE_BACK_BLUE"},
                          {2, u"Bad", "IMG_CIRCLE_BACK_RED"},
                          {3, u"Bad", "IMG_CIRCLE_BACK_RED"},
                          {7, u"N/A", nullptr}};
    for (const Case& c : cases) {
        DiskFigures f;
        f.hasSmart = true;
        f.healthState = c.state;
        const HealthGauge g = HealthGaugeFor(f, English);
        EXPECT_EQ(g.text, c.text) << c.state;
        EXPECT_STREQ(g.backPicture ? g.backPicture : "", c.back ? c.back : "") << c.state;
    }
}

TEST(DiskFrameValues, BytesWrittenLine) {
    struct Case {
        bool smart;
        std::int64_t written;
        const char16_t* text;
    };
    const Case cases[] = {
        {true, -1, u"Total Bytes Written: N/A"},      {true, -7, u"Total Bytes Written: N/A"},
        {false, 12, u"Total Bytes Written: N/A"},     {true, 0, u"Total Bytes Written: 0GB"},
        {true, 999, u"Total Bytes Written: 999GB"},   {true, 1000, u"Total Bytes Written: 1.00TB"},
        {true, 1500, u"Total Bytes Written: 1.50TB"},
    };
    for (const Case& c : cases) {
        DiskFigures f;
        f.hasSmart = c.smart;
        f.written = c.written;
        EXPECT_EQ(BytesWrittenLine(f, English), c.text) << c.written;
    }
}

TEST(DiskFrameValues, NoSmartShowsFourNotAvailableAndADisabledButton) {
    DiskFigures f; // a SCSI disk: no SMART object
    f.temperature = 40;
    f.life = 90;
    f.written = 12;
    const DiskSmartView v = BuildDiskSmartView(f, English);
    EXPECT_EQ(v.health.text, u"N/A");
    EXPECT_EQ(v.temperature.text, u"N/A");
    EXPECT_EQ(v.life.text, u"N/A");
    EXPECT_EQ(v.bytesWritten, u"Total Bytes Written: N/A");
    EXPECT_FALSE(v.smartButtonEnabled);
}

TEST(DiskFrameValues, CapacityBar) {
    constexpr std::uint64_t G = 1ull << 30;
    struct Case {
        std::uint64_t total, free;
        double percent;
        int fill;
        Rgb from;
        const char16_t* left;
        const char16_t* right;
    };
    const Case cases[] = {
        {100 * G, 15 * G, 85, 578, 0xFF015C, u"Used: 85 GB", u"Free: 15 GB"},
        {100 * G, 20 * G, 80, 544, 0x004BFD, u"Used: 80 GB", u"Free: 20 GB"},
        {8 * G, 5 * G, 37.5, 255, 0x004BFD, u"Used: 3 GB", u"Free: 5 GB"},
        // Free above total (a volume grew between the two reads): nothing used.
        {10 * G, 12 * G, 0, 0, 0x004BFD, u"Used: 0 Byte", u"Free: 12 GB"},
        {0, 0, 0, 0, 0x004BFD, u"Used: 0 Byte", u"Free: 0 Byte"},
        {~0ull, 0, 100, 680, 0xFF015C, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const CapacityBarView b = CapacityBarFor(true, c.total, c.free);
        EXPECT_TRUE(b.visible);
        EXPECT_DOUBLE_EQ(b.percent, c.percent) << c.total << " " << c.free;
        EXPECT_EQ(b.fillWidth, c.fill) << c.total << " " << c.free;
        EXPECT_EQ(b.from, c.from) << c.total << " " << c.free;
        if (c.left) {
            EXPECT_EQ(b.left, c.left);
        }
        if (c.right) {
            EXPECT_EQ(b.right, c.right);
        }
    }
    EXPECT_FALSE(CapacityBarFor(false, 10, 5).visible);
}

TEST(DiskFrameValues, IdentityLines) {
    DiskIdentity id;
    id.displayName = "Sim SSD (SATA)";
    id.solidState = true;
    id.model = "Sim SSD";
    id.serial = "S123";
    id.wwnLine = "WWN: 5000000000000001";
    id.sizeBytes = 256ull << 30;
    DiskFrameTexts t = BuildDiskFrameTexts(id, English);
    EXPECT_EQ(t.name, u"Sim SSD (SATA)");
    EXPECT_STREQ(t.icon, "IMG_ICON_SSD");
    EXPECT_EQ(t.lines[0], u"Model: Sim SSD");
    EXPECT_EQ(t.lines[1], u"Firmware version:");
    EXPECT_EQ(t.lines[2], u"Serial number: S123");
    EXPECT_EQ(t.lines[3], u"WWN: 5000000000000001");
    EXPECT_EQ(t.lines[4], u"Capacity: 256 GB");
    EXPECT_EQ(t.smartButton, u"S.M.A.R.T.");
    EXPECT_EQ(t.detailsButton, u"Drive Details");
    EXPECT_EQ(t.gaugeCaptions[2], u"Remaining lifetime");

    id.wwnLine.clear(); // neither ATA nor NVMe
    id.solidState = false;
    t = BuildDiskFrameTexts(id, English);
    EXPECT_EQ(t.lines[3], u"");
    EXPECT_STREQ(t.icon, "IMG_ICON_HDD");
}

TEST(DiskFrameValues, FiguresAreOneCopyOfTheMonitor) {
    ZoltRef<clFunDisk> d = MakeZoltRef<clFunDisk>(nullptr);
    d->smart.HealthState = 3;
    d->smart.temperature = 61;
    d->smart.health = 4;
    d->smart.written = 1500;
    const DiskFigures f = TakeDiskFigures(d.Get());
    d->smart.temperature = 20; // a later refresh does not reach the copy
    EXPECT_FALSE(f.hasSmart);
    EXPECT_EQ(f.healthState, 3);
    EXPECT_EQ(f.temperature, 61);
    EXPECT_EQ(f.life, 4);
    EXPECT_EQ(f.written, 1500);
    EXPECT_FALSE(TakeDiskFigures(nullptr).hasSmart);
}

} // namespace
} // namespace tvd
