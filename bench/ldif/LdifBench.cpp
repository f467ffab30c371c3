// Figures for the LDIF source on a large file: generating the file, timing
// Open and Close, and the peak resident memory while the source is open.
//   tarvo_bench_ldif gen <path> <entries>   writes the file, prints its suffix
//   tarvo_bench_ldif run <path> <base>      prints open/close seconds, RSS and
//                                           whether an unchanged file stays as it is

#include "../common/BenchStats.h"
#include "ldif/LdifSource.h"
#include "platform/Memory.h"
#include "platform/Recorders.h"
#include "source/ConnectionParams.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const char* const kSuffix = "dc=example,dc=com";
const char* const kFirst[] = {"Anna", "Bertil", "Cecilia", "David", "Eva", "Fredrik", "Greta", "Hugo"};
const char* const kLast[] = {"Lindqvist", "Berg", "Holm", "Nyberg", "Sandell", "Ek", "Wahlberg", "Strand"};
const char* const kTitles[] = {"Engineer", "Analyst", "Manager", "Technician", "Consultant"};

int Generate(const char* pszPath, long nEntries) {
    std::ofstream out(pszPath, std::ios::binary | std::ios::trunc);
    if (!out)
        return 1;
    out << "dn: " << kSuffix
        << "\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n";
    // Regions of units of people: a realistic three-level hierarchy.
    const long nPerUnit = 100, nUnitsPerRegion = 20;
    long nWritten = 1;
    char line[512];
    for (long region = 0; nWritten < nEntries; ++region) {
        std::snprintf(line, sizeof line, "ou=region%02ld,%s", region, kSuffix);
        const std::string regionDN = line;
        out << "dn: " << regionDN << "\nobjectClass: organizationalUnit\nou: region" << region << "\n\n";
        ++nWritten;
        for (long unit = 0; unit < nUnitsPerRegion && nWritten < nEntries; ++unit) {
            std::snprintf(line, sizeof line, "ou=unit%02ld,%s", unit, regionDN.c_str());
            const std::string unitDN = line;
            out << "dn: " << unitDN << "\nobjectClass: organizationalUnit\nou: unit" << unit << "\n\n";
            ++nWritten;
            for (long person = 0; person < nPerUnit && nWritten < nEntries; ++person, ++nWritten) {
                const long id = nWritten;
                const char* pszFirst = kFirst[id % 8];
                const char* pszLast = kLast[(id / 8) % 8];
                std::snprintf(line, sizeof line,
                              "dn: uid=u%07ld,%s\n"
                              "objectClass: inetOrgPerson\n"
                              "uid: u%07ld\n"
                              "cn: %s %s\n"
                              "sn: %s\n"
                              "givenName: %s\n"
                              "mail: %s.%s%ld@example.com\n"
                              "telephoneNumber: +46 8 %03ld %04ld\n"
                              "title: %s\n"
                              "description: unit %ld of region %ld\n"
                              "employeeNumber: %ld\n\n",
                              id, unitDN.c_str(), id, pszFirst, pszLast, pszLast, pszFirst, pszFirst, pszLast,
                              id, id % 1000, id % 10000, kTitles[id % 5], unit, region, id);
                out << line;
            }
        }
    }
    std::printf("%s\n", kSuffix);
    return out.good() ? 0 : 1;
}

long PeakRssBytes() {
    return BenchPeakRssKb() * 1024;
}

int Run(const char* pszPath, const char* pszBase) {
    CRecordingMessageBoxes boxes;
    CServices::SetMessageBoxes(&boxes);
    const long nBaseline = PeakRssBytes();
    using clock = std::chrono::steady_clock;
    auto* pSource = new CLdifSource;
    CConnectionParams params;
    params.m_strLdifFile = pszPath;
    params.m_strSearchBase = pszBase;
    auto t0 = clock::now();
    const BOOL bOpened = pSource->Open(params);
    auto t1 = clock::now();
    const long nPeak = PeakRssBytes();
    if (!bOpened) {
        std::fprintf(stderr, "open failed: %s\n", boxes.LastText().GetString());
        return 1;
    }
    const size_t nShown = pSource->GetEntries().Data().size();
    // What an unchanged file would be written as must be the file itself.
    std::ifstream in(pszPath, std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool bIdentical = pSource->FormatContents() == original;
    // One change, so that Close writes the whole file.
    CAttributeArray change;
    change.Add(new CAttribute);
    change[0]->m_strName = "description";
    change[0]->Add("changed");
    pSource->AddAttributes(params.m_pRoot, &change, nullptr);
    DeleteAttributes(change);
    auto t2 = clock::now();
    pSource->Close();
    auto t3 = clock::now();
    delete pSource;
    CServices::SetMessageBoxes(nullptr);
    if (boxes.Count() != 0) {
        std::fprintf(stderr, "close failed: %s\n", boxes.LastText().GetString());
        return 1;
    }
    std::printf("entries %zu\nidentical %s\nopen %.4f\nclose %.4f\nrss %ld\nbaseline %ld\n", nShown,
                bIdentical ? "yes" : "no", std::chrono::duration<double>(t1 - t0).count(),
                std::chrono::duration<double>(t3 - t2).count(), nPeak, nBaseline);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    TuneAllocator(); // as the program does at start
    if (argc == 4 && std::strcmp(argv[1], "gen") == 0)
        return Generate(argv[2], std::atol(argv[3]));
    if (argc == 4 && std::strcmp(argv[1], "run") == 0)
        return Run(argv[2], argv[3]);
    std::fprintf(stderr, "usage: %s gen <path> <entries> | run <path> <base>\n", argv[0]);
    return 2;
}
