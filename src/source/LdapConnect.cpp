#include "source/LdapConnect.h"

#include "platform/Dispatcher.h"
#include "platform/Services.h"
#include "source/ConnectPrompts.h"
#include "source/ConnectionParams.h"
#include "source/LdapError.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

namespace {

CTlsSettings SettingsFor(const CConnectionParams& params) {
    CTlsSettings settings;
    settings.m_bPinOnly = params.m_eTrust != ETrust::Verify && !params.m_strKeyPin.IsEmpty();
    settings.m_strKeyPin = settings.m_bPinOnly ? params.m_strKeyPin : CString();
    settings.m_strCACertFile = params.m_strCACertFile;
    settings.m_strClientCertFile = params.m_strClientCertFile;
    settings.m_strClientKeyFile = params.m_strClientKeyFile;
    return settings;
}

int StartSecurity(CLdapConnection& ld, bool bLdaps) {
    if (bLdaps)
        return ld.ConnectNow();
    // Right after the root DSE was read on this connection, a server may
    // still count that search as outstanding for a moment and refuse
    // StartTLS with operationsError ("cannot start TLS when operations are
    // outstanding"); the refusal leaves the connection as it was, so ask again.
    constexpr int kOperationsError = 1;
    int nCode = ld.StartTls();
    for (int nRetry = 1; nCode == kOperationsError && nRetry <= 5; ++nRetry) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * nRetry));
        nCode = ld.StartTls();
    }
    return nCode;
}

// The certificate the server offers, read over a second connection that
// accepts any certificate and is never bound; "" when none could be read.
CString FetchPeerCertificate(const CString& url, bool bLdaps, int nTimeoutSeconds) {
    CLdapConnection probe;
    if (probe.Initialize(url, nTimeoutSeconds) != 0)
        return "";
    CTlsSettings settings;
    settings.m_bPinOnly = true;
    if (probe.SetTlsOptions(settings) != 0 || StartSecurity(probe, bLdaps) != 0)
        return "";
    return probe.TlsInfo().m_strPeerCertificate;
}

ETrustAnswer AskTrust(IConnectPrompts& prompts, const CCertificateProblem& problem, CString& keyPin) {
    return static_cast<ETrustAnswer>(CMessageDispatcher::Instance().Invoke(
        [&]() -> LRESULT { return static_cast<LRESULT>(prompts.JudgeCertificate(problem, keyPin)); }));
}

BOOL AskPlainPassword(IConnectPrompts& prompts, const CConnectionParams& params) {
    return static_cast<BOOL>(CMessageDispatcher::Instance().Invoke([&]() -> LRESULT {
        return prompts.ConfirmPlainPassword(params.m_strBindDN, HostOfServer(params.m_strServer),
                                            PortOfServer(params.m_strServer, params.m_nPort));
    }));
}

int Bind(CLdapConnection& ld, const CConnectionParams& params) {
    switch (params.m_eAuth) {
    case EAuth::SaslExternal:
        return ld.SaslBind("EXTERNAL", "", "");
    case EAuth::Sasl:
        return ld.SaslBind(params.m_strSaslMechanism, params.m_strBindDN, params.m_strPassword);
    default:
        return ld.SimpleBind(params.m_strBindDN, params.m_strPassword);
    }
}

// A write to a connection the server has dropped (an unbind, a request sent
// before the loss is noticed) must come back as an error, not end the
// program with SIGPIPE.
void IgnoreBrokenPipes() {
    static std::once_flag s_once;
    std::call_once(s_once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

} // namespace

CResult LdapConnectAndBind(CLdapConnection& ld, CConnectionParams& params, int nTimeoutSeconds,
                           CConnectionInfo& info, const std::atomic<bool>* pQuiet) {
    // A connection attempt the user has already given up on asks nothing.
    auto quiet = [pQuiet] { return pQuiet && pQuiet->load(); };
    auto LdapError = [](int nCode, const CString& diagnostic = CString()) {
        return CResult::Failure(LdapErrorMessage(nCode, diagnostic, CString()), nCode);
    };
    IgnoreBrokenPipes();
    const ESecurity eSecurity = SecurityOfServer(params.m_strServer, params.m_eSecurity);
    const bool bLdaps = eSecurity == ESecurity::LDAPS;
    const CString url = BuildLdapUrl(params.m_strServer, params.m_nPort, eSecurity);
    CString lowerUrl = url;
    lowerUrl.MakeLower();
    const bool bSocket = lowerUrl.Find("ldapi://") == 0;

    // One more attempt after the user has trusted an offered certificate.
    for (int nAttempt = 0;; ++nAttempt) {
        int nCode = ld.Initialize(url, nTimeoutSeconds);
        if (nCode != 0) {
            return LdapError(nCode);
        }
        bool bTls = eSecurity != ESecurity::None && !bSocket;
        if (bTls) {
            nCode = ld.SetTlsOptions(SettingsFor(params));
            if (nCode != 0) {
                const CString diagnostic = ld.DiagnosticMessage();
                ld.Unbind();
                return LdapError(nCode, diagnostic);
            }
        }
        // Asked anonymously in the clear, as every client must before StartTLS.
        if (eSecurity == ESecurity::StartTLSIfOffered)
            bTls = ld.OffersStartTls();
        if (bTls) {
            nCode = StartSecurity(ld, bLdaps);
            if (nCode != 0) {
                const CString diagnostic = ld.DiagnosticMessage();
                ld.Unbind();
                CCertificateProblem problem;
                problem.m_strCertificate = FetchPeerCertificate(url, bLdaps, nTimeoutSeconds);
                if (quiet())
                    return CResult::Silent();
                if (!problem.m_strCertificate.IsEmpty() && params.m_pPrompts && nAttempt == 0) {
                    problem.m_strHost = HostOfServer(params.m_strServer);
                    problem.m_nPort = PortOfServer(params.m_strServer, params.m_nPort);
                    problem.m_strDiagnostic = diagnostic;
                    if (params.m_eTrust == ETrust::Pinned)
                        problem.m_strPinnedKey = params.m_strKeyPin;
                    CString keyPin;
                    ETrustAnswer eAnswer = AskTrust(*params.m_pPrompts, problem, keyPin);
                    if (eAnswer == ETrustAnswer::Cancel || keyPin.IsEmpty())
                        return CResult::Silent();
                    params.m_eTrust = eAnswer == ETrustAnswer::Always ? ETrust::Pinned : ETrust::Once;
                    params.m_strKeyPin = keyPin;
                    continue;
                }
                return LdapError(nCode, diagnostic);
            }
        }

        if (!bTls && params.m_eAuth == EAuth::Simple && !params.m_strPassword.IsEmpty() &&
            !IsLoopbackServer(params.m_strServer) && params.m_pPrompts &&
            (quiet() || !AskPlainPassword(*params.m_pPrompts, params))) {
            ld.Unbind();
            return CResult::Silent();
        }

        // A mechanism the server does not list is named as such, not left to
        // the SASL library's wording; a root DSE that cannot be read decides
        // nothing.
        if (params.m_eAuth != EAuth::Simple) {
            const CString mechanism =
                params.m_eAuth == EAuth::SaslExternal ? CString("EXTERNAL") : params.m_strSaslMechanism;
            const std::vector<CString> offered = ld.RootDseValues("supportedSASLMechanisms");
            if (!offered.empty() && std::find(offered.begin(), offered.end(), mechanism) == offered.end()) {
                CString list;
                for (const CString& name : offered)
                    list += (list.IsEmpty() ? "" : ", ") + name;
                ld.Unbind();
                return CResult::Failure("The server does not offer the SASL mechanism " + mechanism +
                                        ". It offers: " + list + ".");
            }
        }
        nCode = Bind(ld, params);
        if (nCode != 0) {
            // The SASL library says what is missing (a plugin, a ticket).
            const CString diagnostic = params.m_eAuth == EAuth::Simple ? CString() : ld.DiagnosticMessage();
            const CString helpful = params.m_eAuth == EAuth::Sasl
                                        ? SaslBindFailureText(params.m_strSaslMechanism, diagnostic)
                                        : CString();
            if (!helpful.IsEmpty()) {
                ld.Unbind();
                return CResult::Failure(helpful, nCode);
            }
            ld.Unbind();
            return LdapError(nCode, diagnostic);
        }
        info.m_tls = ld.TlsInfo();
        info.m_strIdentity = ld.WhoAmI();
        return CResult();
    }
}

CString SaslBindFailureText(const CString& mechanism, const CString& diagnostic) {
    if (mechanism != "GSSAPI")
        return CString();
    // MIT Kerberos' words for an empty, missing or expired credentials cache.
    const std::string& text = diagnostic.Str();
    static const char* const kNoTicket[] = {"No credentials were supplied", "No Kerberos credentials",
                                            "Credentials cache", "Ticket expired"};
    if (std::none_of(std::begin(kNoTicket), std::end(kNoTicket),
                     [&text](const char* pszWords) { return text.find(pszWords) != std::string::npos; }))
        return CString();
    // The GSSAPI part only: the SASL prefix repeats what the user chose.
    std::string detail = text;
    const std::string marker = "GSSAPI Error: ";
    if (const size_t nAt = detail.find(marker); nAt != std::string::npos)
        detail.erase(0, nAt + marker.size());
    return CString("No Kerberos ticket: run kinit (GSSAPI: " + detail + ")");
}
