#include "ldif/LdifImporter.h"

#include "ldif/LdifChangeReader.h"
#include "model/DnHelper.h"
#include "platform/SecretBuffer.h"
#include "source/LdapConnect.h"
#include "source/LdapError.h"
#include "source/LdapWrap.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <vector>

namespace {

constexpr int kTimeoutSeconds = 10;
constexpr int kWaitSliceMs = 50;
// How long answers still due are waited for after a Stop.
constexpr int kStopWaitMs = 1000;
constexpr int kLdapResultAny = -1;

using Clock = std::chrono::steady_clock;

// Whether one DN is the other or lies below it, by their compare keys.
bool Related(const std::string& a, const std::string& b) {
    auto below = [](const std::string& lower, const std::string& upper) {
        return lower.size() > upper.size() &&
               lower.compare(lower.size() - upper.size(), upper.size(), upper) == 0 &&
               lower[lower.size() - upper.size() - 1] == ',';
    };
    return a == b || below(a, b) || below(b, a);
}

struct CInFlight {
    int nMsgId = -1;
    CLdifChangeRecord record;
    std::string strKey;
    std::string strTargetKey;
};

bool Conflicts(const std::string& key, const std::string& targetKey, const std::vector<CInFlight>& inFlight) {
    for (const CInFlight& other : inFlight)
        if (Related(key, other.strKey) || Related(key, other.strTargetKey) ||
            Related(targetKey, other.strKey) || Related(targetKey, other.strTargetKey))
            return true;
    return false;
}

int Send(ldap* ld, const CLdifChangeRecord& record, int& nMsgId) {
    CLdapMods mods;
    switch (record.m_eType) {
    case ELdifChangeType::Add:
        for (const CAttribute& attribute : record.m_attributes)
            mods.Append(CLdapMods::Add, attribute.m_strName, attribute);
        return LdapAdd(ld, record.m_strDN, mods, nMsgId);
    case ELdifChangeType::Delete:
        return LdapDelete(ld, record.m_strDN, nMsgId);
    case ELdifChangeType::Modify:
        for (const CLdifModification& change : record.m_modifications)
            mods.Append(change.m_eOp == ELdifModOp::Add      ? CLdapMods::Add
                        : change.m_eOp == ELdifModOp::Delete ? CLdapMods::Delete
                                                             : CLdapMods::Replace,
                        change.m_attribute.m_strName, change.m_attribute);
        return LdapModify(ld, record.m_strDN, mods, nMsgId);
    case ELdifChangeType::ModRdn:
        return LdapModDn(ld, record.m_strDN, record.m_strNewRdn,
                         record.m_bHasNewSuperior ? record.m_strNewSuperior : CString(),
                         record.m_bDeleteOldRdn, nMsgId);
    }
    return -1;
}

// A text as comment lines, so that no byte of it can end the comment.
void WriteComment(std::ostream& out, std::string_view text) {
    size_t nStart = 0;
    for (;;) {
        const size_t nBreak = text.find_first_of("\r\n", nStart);
        out << "# " << text.substr(nStart, nBreak == std::string_view::npos ? nBreak : nBreak - nStart)
            << '\n';
        if (nBreak == std::string_view::npos)
            return;
        nStart = text.find_first_not_of("\r\n", nBreak);
        if (nStart == std::string_view::npos)
            return;
    }
}

CString Count(long n, const char* pszOne, const char* pszMany) {
    return CString(std::to_string(n)) + " " + (n == 1 ? pszOne : pszMany);
}

} // namespace

const char* const CLdifImporter::kRejectsIsInputText =
    "The rejects file cannot be the file being imported: it would be overwritten.";

CString CImportReport::Summary(bool bDryRun) const {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", m_dSeconds);
    CString text = bDryRun ? "Dry run: " + Count(m_nDone, "record", "records") + " checked, " +
                                 CString(std::to_string(m_nFailed)) + " with faults, nothing was sent"
                           : "Imported " + Count(m_nDone, "record", "records") + ", " +
                                 CString(std::to_string(m_nFailed)) + " failed";
    if (m_nUnconfirmed > 0)
        text += ", " + CString(std::to_string(m_nUnconfirmed)) + " sent without an answer";
    text += " (" + CString(seconds) + ")";
    if (m_bStopped)
        text += ". Stopped before the end of the file";
    return text + ".";
}

void CLdifImporter::Break() {
    m_bStop = true;
    const int nSocket = m_nSocket;
    if (nSocket >= 0)
        shutdown(nSocket, SHUT_RDWR);
}

CImportReport CLdifImporter::Run(CConnectionParams params, const CImportOptions& options) {
    const auto tStart = Clock::now();
    CImportReport report;
    auto finish = [&] {
        WipeString(params.m_strPassword);
        m_nSocket = -1;
        report.m_nDone = m_nDone;
        report.m_nFailed = m_nFailed;
        report.m_dSeconds = std::chrono::duration<double>(Clock::now() - tStart).count();
        return report;
    };
    CLdifChangeReader reader;
    if (!reader.Open(options.m_strFile)) {
        report.m_strError = "Cannot read " + options.m_strFile;
        return finish();
    }
    m_nFileSize = reader.FileSize();
    std::ofstream rejects;
    const bool bRejects = options.m_bContinueOnError && !options.m_strRejectsFile.IsEmpty();
    std::error_code sameError;
    if (bRejects && (options.m_strRejectsFile == options.m_strFile ||
                     std::filesystem::equivalent(options.m_strFile.GetString(),
                                                 options.m_strRejectsFile.GetString(), sameError))) {
        report.m_strError = kRejectsIsInputText;
        return finish();
    }
    if (bRejects) {
        rejects.open(options.m_strRejectsFile.GetString(), std::ios::binary | std::ios::trunc);
        if (!rejects) {
            report.m_strError = "Cannot write the rejects file " + options.m_strRejectsFile;
            return finish();
        }
    }
    CLdapConnection ld;
    if (!options.m_bDryRun) {
        params.m_pPrompts = nullptr; // the session has settled every question
        CConnectionInfo info;
        const CResult connected = LdapConnectAndBind(ld, params, kTimeoutSeconds, info);
        if (!connected) {
            report.m_strError = "Cannot connect for the import: " + connected.Reason();
            return finish();
        }
        m_nSocket = ld.Socket();
    }

    bool bHalt = false;
    long nErrorLine = 0;
    auto fail = [&](const CLdifChangeRecord& record, const CString& why, bool bReadable) {
        ++m_nFailed;
        if (report.m_strFirstFailure.IsEmpty())
            report.m_strFirstFailure = why;
        if (bRejects) {
            WriteComment(rejects, why.View());
            // A record that could not be read goes as comments too, so the
            // file stays one that can be read; it has to be mended anyway.
            if (bReadable)
                rejects << record.m_strText;
            else
                WriteComment(rejects, record.m_strText.substr(0, record.m_strText.size() - 1));
            rejects << '\n';
        }
        if (!options.m_bContinueOnError) {
            // Answers come in any order; the earliest record that failed is the one to name.
            bHalt = true;
            if (report.m_strError.IsEmpty() || record.m_nLine < nErrorLine) {
                report.m_strError = why;
                nErrorLine = record.m_nLine;
            }
        }
    };
    auto affect = [&](const CString& dn) {
        if (report.m_bAffectedAll)
            return;
        report.m_affectedParents.insert(DnCompareKey(dn.View()));
        if (report.m_affectedParents.size() > kMaxAffectedParents) {
            report.m_bAffectedAll = true;
            report.m_affectedParents.clear();
        }
    };
    auto applied = [&](const CLdifChangeRecord& record) {
        ++m_nDone;
        if (record.m_eType == ELdifChangeType::Modify) {
            affect(record.m_strDN);
            return;
        }
        affect(DnParent(record.m_strDN));
        if (record.m_eType == ELdifChangeType::ModRdn)
            affect(DnParent(record.TargetDN()));
    };

    const size_t nMaxInFlight = options.m_nMaxInFlight < 1 ? 1 : static_cast<size_t>(options.m_nMaxInFlight);
    std::vector<CInFlight> inFlight;
    inFlight.reserve(nMaxInFlight);
    auto lineText = [](const CLdifChangeRecord& record, const CString& text) {
        return "Line " + CString(std::to_string(record.m_nLine)) + ": " + text;
    };
    // The answer to one request in flight.
    auto settle = [&](const CLdapMessage& message) {
        const int nMsgId = LdapMessageId(message.Get());
        for (auto it = inFlight.begin(); it != inFlight.end(); ++it) {
            if (it->nMsgId != nMsgId)
                continue;
            CString diagnostic;
            const int nCode = LdapResultCode(ld.Get(), message.Get(), &diagnostic);
            if (nCode == 0)
                applied(it->record);
            else
                fail(it->record, lineText(it->record, LdapResultDescription(nCode, diagnostic)), true);
            inFlight.erase(it);
            return;
        }
    };
    CInFlight next;
    bool bHeld = false, bEnd = false;
    CString strError;
    while (!m_bStop) {
        while (!bHalt && !bEnd && inFlight.size() < nMaxInFlight) {
            if (!bHeld) {
                const CLdifChangeReader::EStep eStep = reader.Next(next.record, strError);
                m_nBytesRead = reader.BytesRead();
                if (eStep == CLdifChangeReader::kEnd) {
                    bEnd = true;
                } else if (eStep == CLdifChangeReader::kReadFailed) {
                    report.m_strError = "Cannot read " + options.m_strFile;
                    bEnd = bHalt = true;
                } else if (eStep == CLdifChangeReader::kBadRecord) {
                    fail(next.record, strError, false);
                } else if (options.m_bDryRun) {
                    ++m_nDone;
                } else {
                    next.strKey = DnCompareKey(next.record.m_strDN.View());
                    next.strTargetKey = next.record.m_eType == ELdifChangeType::ModRdn
                                            ? DnCompareKey(next.record.TargetDN().View())
                                            : next.strKey;
                    bHeld = true;
                }
                if (!bHeld)
                    continue;
            }
            if (Conflicts(next.strKey, next.strTargetKey, inFlight))
                break;
            bHeld = false;
            const int nCode = Send(ld.Get(), next.record, next.nMsgId);
            if (nCode == 0) {
                inFlight.push_back(std::move(next));
                continue;
            }
            fail(next.record, lineText(next.record, LdapResultDescription(nCode, ld.DiagnosticMessage())),
                 true);
            if (LdapReadLostConnection(ld.Get())) {
                report.m_strError = "The connection to the server was lost";
                bHalt = true;
            }
        }
        if (inFlight.empty()) {
            if (bEnd || bHalt)
                break;
            continue;
        }
        const bool bCanSend = !bHalt && !bEnd && !bHeld && inFlight.size() < nMaxInFlight;
        CLdapMessage message;
        const int nType = LdapReadResult(ld.Get(), kLdapResultAny, bCanSend ? 0 : kWaitSliceMs, message);
        if (nType < 0) {
            report.m_strError = "The connection to the server was lost";
            break;
        }
        if (nType == 0)
            continue;
        settle(message);
    }
    if (m_bStop) {
        report.m_bStopped = true;
        // What was sent may still be answered; not for long, a close waits.
        const auto tGiveUp = Clock::now() + std::chrono::milliseconds(kStopWaitMs);
        while (!inFlight.empty() && Clock::now() < tGiveUp) {
            CLdapMessage message;
            const int nType = LdapReadResult(ld.Get(), kLdapResultAny, kWaitSliceMs, message);
            if (nType < 0)
                break;
            if (nType == 0)
                continue;
            settle(message);
        }
    }
    report.m_nUnconfirmed = static_cast<long>(inFlight.size());
    m_nSocket = -1;
    ld.Unbind();
    if (bRejects) {
        rejects.close();
        // Records said to be kept must be there.
        if (rejects.fail() && report.m_strError.IsEmpty())
            report.m_strError =
                "The rejects file " + options.m_strRejectsFile + " could not be written completely";
        if (m_nFailed == 0)
            std::remove(options.m_strRejectsFile.GetString());
    }
    return finish();
}
