#pragma once
// Helpers shared by the test programs.

#include "archive/AbDecodeIO.h"
#include "platform/Dialogs.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testutil {

// The real archives made by other programs (read-only): pkzip/Name; the folder of the built programs.
std::string Pkzip(const std::string& Name);
std::string FixturesDir();
std::string BinDir();

// A fresh folder under the temporary folder, removed with everything in it when the object goes.
class TScratchDir {
public:
    TScratchDir();
    ~TScratchDir();
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }

private:
    std::string FPath;
};

// Sets an environment variable (TMPDIR, XDG_CONFIG_HOME, ...) while it lives.
class TEnvSetting {
public:
    TEnvSetting(const char* Name, const std::string& Value);
    ~TEnvSetting();
    TEnvSetting(const TEnvSetting&) = delete;
    TEnvSetting& operator=(const TEnvSetting&) = delete;

private:
    std::string FName, FOld;
    bool FHadOld;
};

// The message of the E that Call raised; empty when it raised nothing.
template <class E, class F> std::string ErrorOf(F&& Call) {
    try {
        Call();
    } catch (const E& X) {
        return X.what();
    }
    return "";
}

// Runs a shell command; returns its exit status and, when asked, what it printed on stdout and stderr.
int Run(const std::string& Command, std::string* Output = nullptr, std::string* Errors = nullptr);
// Runs tarnlet-cli with Args (already quoted where needed), like Run.
int Cli(const std::string& Args, std::string* Output = nullptr, std::string* Errors = nullptr);
std::string Quote(const std::string& S);

std::string ReadFile(const std::string& Path);
void WriteFile(const std::string& Path, const std::string& Data);
// Deterministic pseudo-random bytes, and English-like text with repeated words and line breaks.
std::string RandomBytes(size_t Count, unsigned Seed);
std::string SampleText(size_t Count, unsigned Seed);

// zlib as the reference: CRC-32, and a raw deflate stream (Strategy: Z_DEFAULT_STRATEGY, Z_FIXED, ...).
uint32_t Crc32(const std::string& Data);
std::string RawDeflate(const std::string& Data, int Level, int Strategy = 0);

uint64_t GetLe(const std::string& Bytes, size_t At, int Width);
void SetLe(std::string& Bytes, size_t At, uint64_t Value, int Width);
std::string Le(uint64_t Value, int Width);

using TFiles = std::vector<std::pair<std::string, std::string>>;
// Makes the archive Zip with zip and Options from the files given (name, contents). Returns Zip.
std::string MakeZip(const std::string& Zip, const TFiles& Files, const std::string& Options = "");
// Runs Python with `z`, a zipfile.ZipFile writing Zip, open for Body.
void PythonZip(const std::string& Zip, const std::string& Body);

// One entry of a zip file as its local header describes it, with its raw (compressed) data.
struct TLocalEntry {
    std::string Name;
    unsigned Method = 0;
    unsigned Flags = 0;
    uint32_t Crc = 0;
    uint64_t UncompressedSize = 0;
    std::string Data;
};
// Walks the local headers from the start of the file up to the first other record.
std::vector<TLocalEntry> ReadLocalEntries(const std::string& ZipPath);
// The 15 files the DOS archives hold, by name, from the stored archive PKZ204E0.
const std::map<std::string, std::string>& DosOriginals();

// Hands Data to a decoder in chunks of the given sizes (cycled; all at once when empty), each its own
// allocation freed at the next call, so the sanitizers catch a decoder reading past one or keeping it.
class TDecodeSource : public TAbDecodeInput {
public:
    explicit TDecodeSource(std::string Data, std::vector<size_t> ChunkSizes = {4096});
    bool NextChunk(const uint8_t*& Data, size_t& Count) override;
    bool AskedPastEnd = false;

private:
    std::string FData;
    std::vector<size_t> FSizes;
    size_t FPos = 0, FCall = 0;
    std::unique_ptr<uint8_t[]> FChunk;
};

// Gathers a decoder's output.
class TDecodeSink : public TAbDecodeOutput {
public:
    void Write(const uint8_t* Data, size_t Count) override;
    std::string Bytes;
};

// Packs values least significant bit first, as the zip methods store their codes.
class TLsbBitWriter {
public:
    TLsbBitWriter& Put(uint32_t Value, unsigned Count);
    // A code most significant bit first, as Huffman and Shannon-Fano codes are sent.
    TLsbBitWriter& Code(uint32_t Code, unsigned Length);
    // The bytes written so far, the last one padded with zero bits.
    const std::string& Bytes() const { return FBytes; }
    size_t BitCount() const { return FBitCount; }

private:
    std::string FBytes;
    size_t FBitCount = 0;
};

// While it lives, message boxes are recorded and answered from a list (then with OK); beeps are counted.
class TBoxAnswers {
public:
    explicit TBoxAnswers(std::deque<int> Answers = {}) : FAnswers(std::move(Answers)) {
        SetMessageBoxHandler([this](const std::string& Text, const std::string&, unsigned) {
            Texts.push_back(Text);
            if (FAnswers.empty())
                return int(idOK);
            const int A = FAnswers.front();
            FAnswers.pop_front();
            return A;
        });
        SetBeepHandler([this] { ++Beeps; });
    }
    ~TBoxAnswers() {
        SetMessageBoxHandler({});
        SetBeepHandler({});
    }
    TBoxAnswers(const TBoxAnswers&) = delete;
    TBoxAnswers& operator=(const TBoxAnswers&) = delete;

    void Answer(int A) { FAnswers.push_back(A); }

    std::vector<std::string> Texts;
    std::atomic<int> Beeps{0};

private:
    std::deque<int> FAnswers;
};

// Runs what worker threads hand to the main thread until Done() holds; false after TimeoutMs.
bool DrainSynchronize(const std::function<bool()>& Done, int TimeoutMs = 20000);
// Sets a file's last-write time (seconds since 1970).
void SetFileTime(const std::string& Path, long long UnixTime);

} // namespace testutil
