// Benchmark: parses one generated multi-megabyte document with CXmlDocument
// and with pugixml in the same run and prints throughput and their ratio.
//   xml_document_benchmark [megabytes=16] [rounds=5] [warm|cold]
#include "xml/xml_document.h"

#include <pugixml.hpp>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <time.h>

namespace {

std::atomic<long> g_allocations{0};

std::string GenerateDocument(std::size_t megabytes)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<kelmwebinstaller>\n";
    const std::size_t target = megabytes * 1024 * 1024;
    for (unsigned i = 0; text.size() < target; ++i) {
        const std::string n = std::to_string(i);
        text += "  <package id=\"" + n + "\" kind=\"msi\">\n"
                "    <name>Package " + n + " &amp; runtime</name>\n"
                "    <full_url>https://downloads.example.test/packages/" + n + "/setup.msi?x=1&amp;y=2</full_url>\n"
                "    <size>" + std::to_string(i * 7919u % 100000000u) + "</size>\n"
                "    <command_line>/quiet /norestart</command_line>\n"
                "    <!-- build " + n + " -->\n"
                "    <description><![CDATA[Installs <component> " + n + ".]]></description>\n"
                "    <flags><silent/><reboot value=\"no\"/></flags>\n"
                "  </package>\n";
    }
    text += "</kelmwebinstaller>\n";
    return text;
}

// Thread CPU time, so that other processes sharing the machine do not count.
double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <typename Work>
double BestSeconds(int rounds, Work work)
{
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const double start = CpuSeconds();
        work();
        best = std::min(best, CpuSeconds() - start);
    }
    return best;
}

}  // namespace

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

int main(int argc, char** argv)
{
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    // Warm (default): freed memory stays in the heap, so every round of both
    // parsers reuses pages already touched. Cold: large blocks go back to the
    // system and each round pays the first touch of fresh pages, as a
    // one-shot load does.
    const bool cold = argc > 3 && std::string(argv[3]) == "cold";
    if (!cold) {
        mallopt(M_MMAP_THRESHOLD, 1 << 30);
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
    }
    const std::string bytes = GenerateDocument(megabytes);
    const double mb = static_cast<double>(bytes.size()) / (1024.0 * 1024.0);

    // Every round of both parsers starts from a new document object.
    bool ok = true;
    auto document = std::make_unique<kelm::CXmlDocument>();
    const double ownLoad = BestSeconds(rounds, [&] {
        document = std::make_unique<kelm::CXmlDocument>();
        ok &= document->LoadBytes(bytes.data(), bytes.size());
    });
    const int32_t elements = document->GetElementCount() - 1;
    const std::wstring text = document->GetText();

    long allocations = 0;
    const double ownParse = BestSeconds(rounds, [&] {
        const long before = g_allocations;
        document = std::make_unique<kelm::CXmlDocument>();
        ok &= document->SetText(text.c_str());
        allocations = g_allocations - before;
    });

    // What copying the UTF-16 text alone costs (wchar_t is 4 bytes here, 2 on Windows).
    const double textCopy = BestSeconds(rounds, [&] {
        std::wstring copy(text.c_str());
        ok &= copy.size() == text.size();
    });

    // Reading every package's name and URL through the cursor.
    std::size_t ownChars = 0;
    const double ownRead = BestSeconds(rounds, [&] {
        ownChars = 0;
        document = std::make_unique<kelm::CXmlDocument>();
        document->SetText(text.c_str());
        document->FindElement(L"kelmwebinstaller");
        while (document->FindChildElement(L"package")) {
            document->EnterElement();
            document->FindChildElement(L"name");
            ownChars += document->GetChildElementText().size();
            document->FindChildElement(L"full_url");
            ownChars += document->GetChildElementText().size();
            document->LeaveElement();
        }
    });

    pugi::xml_document pugiDocument;
    const double pugiLoad = BestSeconds(rounds, [&] {
        ok &= static_cast<bool>(pugiDocument.load_buffer(bytes.data(), bytes.size()));
    });
    std::size_t pugiChars = 0;
    const double pugiRead = BestSeconds(rounds, [&] {
        pugiChars = 0;
        pugiDocument.load_buffer(bytes.data(), bytes.size());
        for (pugi::xml_node package : pugiDocument.child("kelmwebinstaller").children("package")) {
            pugiChars += std::char_traits<char>::length(package.child("name").child_value());
            pugiChars += std::char_traits<char>::length(package.child("full_url").child_value());
        }
    });

    if (!ok || ownChars != pugiChars) {
        std::printf("parsers disagree (ok %d, characters %zu against %zu)\n", ok, ownChars, pugiChars);
        return 1;
    }
    std::printf("document: %.1f MB UTF-8, %d elements, best of %d rounds (thread CPU time), %s memory\n", mb, elements,
                rounds, cold ? "cold" : "warm");
    std::printf("CXmlDocument LoadBytes (decode + index): %8.1f MB/s  %7.1f ms\n", mb / ownLoad, ownLoad * 1e3);
    std::printf("CXmlDocument SetText   (index only):     %8.1f MB/s  %7.1f ms  (%ld allocations)\n", mb / ownParse,
                ownParse * 1e3, allocations);
    std::printf("  of which copying the text alone:                    %7.1f ms\n", textCopy * 1e3);
    std::printf("pugixml load_buffer:                     %8.1f MB/s  %7.1f ms\n", mb / pugiLoad, pugiLoad * 1e3);
    std::printf("parse + read all names and URLs: CXmlDocument %.1f ms, pugixml %.1f ms\n", ownRead * 1e3,
                pugiRead * 1e3);
    std::printf("ratio CXmlDocument / pugixml throughput: LoadBytes %.2f, SetText %.2f, parse+read %.2f\n",
                pugiLoad / ownLoad, pugiLoad / ownParse, pugiRead / ownRead);

    // Hostile shapes a server could send: each must stay linear.
    struct Shape {
        const char* name;
        std::wstring text;
    };
    const std::size_t units = megabytes * 1024 * 1024 / 4;
    auto repeat = [units](const std::wstring& head, const std::wstring& piece, const std::wstring& tail) {
        std::wstring text = head;
        while (text.size() + tail.size() < units)
            text += piece;
        return text + tail;
    };
    std::wstring distinct;
    for (unsigned i = 0; distinct.size() < units / 2; ++i)
        distinct += L"<n" + std::to_wstring(i) + L">";
    const Shape shapes[] = {
        {"deep nesting never closed", repeat(L"", L"<d>", L"")},
        {"deep nesting closed by the root's end tag", repeat(L"<r>", L"<d><e/>", L"</r>")},
        {"lone end tags under a deep stack", distinct + repeat(L"", L"</zz>", L"")},
        {"markup faults", repeat(L"<r>", L"<1<!x>", L"</r>")},
    };
    for (const Shape& shape : shapes) {
        const double seconds = BestSeconds(1, [&] { document->SetText(shape.text.c_str()); });
        std::printf("%-45s %6.1f MB/s (%d elements)\n", shape.name,
                    static_cast<double>(shape.text.size()) * 2 / (1024.0 * 1024.0) / seconds,
                    document->GetElementCount() - 1);
    }
    return 0;
}
