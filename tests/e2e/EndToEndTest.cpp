#include "EmulatorProcess.h"
#include "GuiTestSupport.h"
#include "SectionBuffer.h"

#include <QFile>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

using phone_harness::EmulatorOptions;
using phone_harness::EmulatorProcess;
using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> ValidEntry(unsigned seed) {
    std::vector<std::uint8_t> bytes(SectionSize);
    std::mt19937 rng(seed);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    for (int n = 1; n <= 3; ++n) {
        bytes[SlotOffset(n)] = 0x60;
        bytes[SlotOffset(n) + 1] = 0x4D;
        bytes[SlotOffset(n) + 2] = 0x00;
    }
    return bytes;
}

// What a download leaves when the library wrote the first `count` bytes of
// `entry` over zeros: every slot without valid markers blanked.
std::vector<std::uint8_t> Repaired(const std::vector<std::uint8_t>& entry, std::size_t count) {
    std::vector<std::uint8_t> out(SectionSize, 0);
    std::copy_n(entry.begin(), std::min(count, entry.size()), out.begin());
    for (int n = 1; n <= 3; ++n) {
        const std::uint8_t* s = out.data() + SlotOffset(n);
        if (!(s[0] == 0x60 && s[1] == 0x4D && s[2] == 0x00))
            std::fill_n(out.begin() + static_cast<long>(SlotOffset(n)), SlotSize, 0xFF);
    }
    return out;
}

class EndToEnd : public MainWindowTest {
protected:
    // Runs a command and returns the texts of the boxes it showed.
    std::vector<std::string> Run(QWidget* button, double* seconds = nullptr) {
        ModalDriver driver;
        const auto start = Clock::now();
        Click(button);
        if (seconds)
            *seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::vector<std::string> texts;
        for (const auto& b : driver.boxes)
            texts.push_back(b.text.toStdString());
        EXPECT_EQ(Form1->windowTitle().toStdString(), "Velmoran 1.0");
        return texts;
    }
    static EmulatorOptions Fast(std::vector<std::string> args = {}) {
        EmulatorOptions o;
        o.args = std::move(args);
        o.timeoutMs = 100;
        return o;
    }
};

TEST_F(EndToEnd, DownloadShowsTheSamplePictures) {
    QFile sample(QStringLiteral(SAMPLE_SECTION));
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly)) << "no sample section at " << SAMPLE_SECTION;
    const QByteArray bytes = sample.readAll();
    ASSERT_EQ(bytes.size(), 5565);
    EmulatorOptions options = Fast();
    options.initial = std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    EmulatorProcess phone(options);
    EXPECT_TRUE(Run(Form1->Button11).empty());
    EXPECT_EQ(BufferCopy(), *options.initial);
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(SlotIsValid(n)) << "slot " << n;
    for (TButton* b : {Form1->Button1, Form1->Button2, Form1->Button3})
        EXPECT_TRUE(b->isEnabled());
}

TEST_F(EndToEnd, UploadThenDownloadRoundTrip) {
    EmulatorOptions options = Fast();
    options.initial = ValidEntry(3);
    EmulatorProcess phone(options);
    ASSERT_TRUE(Run(Form1->Button11).empty());
    ASSERT_EQ(BufferCopy(), *options.initial);

    Click(Form1->Button5);  // clear slot 2: the edit
    const auto edited = BufferCopy();
    ASSERT_TRUE(Run(Form1->Button12).empty());
    EXPECT_EQ(phone.Store(), edited);

    std::memset(SectionBuffer, 0x11, SectionSize);
    ASSERT_TRUE(Run(Form1->Button11).empty());
    EXPECT_EQ(BufferCopy(), edited);
    EXPECT_FALSE(SlotIsValid(2));
    phone.Stop();
    EXPECT_EQ(phone.Store(), edited);
}

TEST_F(EndToEnd, NoPhoneOnThePort) {
    // A device that does not exist fails at once; a line nobody answers
    // within the library's bound, here with its default timeouts.
    ::setenv("GBP_COM4", "/dev/velmoran-no-such-device", 1);
    const auto before = BufferCopy();
    double seconds = 0;
    EXPECT_EQ(Run(Form1->Button11, &seconds),
              std::vector<std::string>{"Unable to initialize GBP mode"});
    EXPECT_LT(seconds, 3.0);
    EXPECT_EQ(BufferCopy(), before);

    EmulatorOptions muteOptions;
    muteOptions.args = {"--mute"};
    EmulatorProcess mute(muteOptions);
    EXPECT_EQ(Run(Form1->Button12, &seconds),
              std::vector<std::string>{"Unable to initialize GBP mode"});
    EXPECT_LT(seconds, 3.0);
    EXPECT_EQ(BufferCopy(), before);
}

TEST_F(EndToEnd, PhoneRefusesEraseOrWrite) {
    struct Case {
        const char* option;
        const char* box;
    } cases[] = {{"--refuse-erase", "Cannot clear old NVM entry"},
                 {"--refuse-write", "Unable to write NVM entry"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        EmulatorOptions options = Fast({c.option});
        options.initial = ValidEntry(5);
        EmulatorProcess phone(options);
        const auto before = BufferCopy();
        EXPECT_EQ(Run(Form1->Button12), std::vector<std::string>{c.box});
        EXPECT_EQ(BufferCopy(), before);
        if (std::string(c.option) == "--refuse-erase") {
            EXPECT_EQ(phone.Store(), *options.initial) << "the phone's entry must stay";
        }
    }
}

TEST_F(EndToEnd, LinkDroppedDuringReadIsNotReported) {
    EmulatorOptions options = Fast({"--max-chunk", "1024", "--drop-after", "3000"});
    options.initial = ValidEntry(9);
    EmulatorProcess phone(options);
    EXPECT_TRUE(Run(Form1->Button11).empty());
    const auto got = BufferCopy();
    bool matched = false;
    for (std::size_t count = 0; count <= SectionSize && !matched; count += 1024)
        matched = got == Repaired(*options.initial, count);
    EXPECT_TRUE(matched) << "the buffer is not a repaired prefix of the phone's entry: "
                         << Hex(got, 0, 16);
    EXPECT_FALSE(SlotIsValid(3));
    for (TButton* b : {Form1->Button1, Form1->Button2, Form1->Button3})
        EXPECT_TRUE(b->isEnabled());
}

TEST_F(EndToEnd, LinkDroppedDuringWriteIsReported) {
    EmulatorOptions options = Fast({"--max-chunk", "1024", "--drop-after", "2500"});
    EmulatorProcess phone(options);
    const auto before = BufferCopy();
    EXPECT_EQ(Run(Form1->Button12), std::vector<std::string>{"Unable to write NVM entry"});
    EXPECT_EQ(BufferCopy(), before);
}

TEST_F(EndToEnd, CorruptedBytesAreAbsorbedByRetries) {
    EmulatorOptions options = Fast({"--max-chunk", "512", "--corrupt", "0.0002", "--seed", "42"});
    options.initial = ValidEntry(11);
    options.retries = 6;
    EmulatorProcess phone(options);
    EXPECT_TRUE(Run(Form1->Button11).empty());
    EXPECT_EQ(BufferCopy(), *options.initial);
    Click(Form1->Button4);
    const auto edited = BufferCopy();
    EXPECT_TRUE(Run(Form1->Button12).empty());
    phone.Stop();
    EXPECT_EQ(phone.Store(), edited);
    EXPECT_GT(phone.Counts().corrupted, 0u) << "the line was not damaged at all";
}

}  // namespace
