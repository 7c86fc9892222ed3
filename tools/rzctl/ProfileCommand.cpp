#include "tools/rzctl/ProfileCommand.h"

#include "iounit/IoUnitCodec.h"
#include "iounit/IoUnitCore.h"
#include "iounit/IoUnitProfile.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"
#include "link/MainReplies.h"
#include "settings/RelayProfiles.h"
#include "tools/rzctl/CtlReplies.h"

#include <mutex>
#include <vector>

namespace {

// ---------------------------------------------------------------- device kinds

// What the profile commands need of one device kind; every step works on the
// kind's process-wide records, as its window does.
struct ProfileKind {
    ReplyHandler handler;
    // The settings read of the connection flow, without the wireless group.
    std::vector<std::string> (*readCommands)(int model);
    // The records as a profile's settings object.
    ProfileJson (*settings)(int model);
    // A profile's settings into the records, through the form values and the
    // window's validation; false with the problem.
    bool (*apply)(const ProfileJson& settings, int model, ProfileError* error);
    // The window's write commands from the records, in order.
    std::vector<std::string> (*writeCommands)(int model);
    bool resetAfterWrite;  // an I/O unit restarts with "RSET/"
};

const ProfileKind kGateway = {
    &GatewayReplyHandler,
    [](int) { return std::vector<std::string>{Terminated("SJ"), Terminated("GK")}; },
    [](int) { return GatewayProfileSettings(TheRelaySettings()); },
    [](const ProfileJson& settings, int, ProfileError* error) {
        GatewayFormValues form;
        return GatewayFormFromProfile(settings, &form, error) && !ValidateGatewayForm(form, TheRelaySettings());
    },
    [](int) { return GatewayWriteCommands(TheRelaySettings()); },
    false,
};

const ProfileKind kSerial = {
    &SerialReplyHandler,
    [](int) { return std::vector<std::string>{Terminated("SJ")}; },
    [](int) { return SerialProfileSettings(TheRelaySettings()); },
    [](const ProfileJson& settings, int, ProfileError* error) {
        SerialFormValues form;
        if (!SerialFormFromProfile(settings, &form, error)) return false;
        const RelaySettings device = TheRelaySettings();
        return !ValidateSerialForm(form, device, TheRelaySettings());
    },
    [](int) { return std::vector<std::string>{BuildRelayCommand(TheRelaySettings())}; },
    false,
};

const ProfileKind kIoUnit = {
    &IoUnitReplyHandler,
    &IoUnitReadCommands,
    [](int model) { return IoUnitProfileSettings(IoUnitFormFromRecords(TheIoUnitRecords()), model); },
    [](const ProfileJson& settings, int model, ProfileError* error) {
        const IoUnitRecords device = TheIoUnitRecords();
        IoUnitFormValues form;
        IoUnitRecords out;
        if (!IoUnitFormFromProfile(settings, model, device, &form, error) ||
            ValidateIoUnitForm(form, device, model, &out))
            return false;
        StoreIoUnitRecords(out, model);
        return true;
    },
    [](int model) { return IoUnitWriteCommands(TheIoUnitRecords(), model); },
    true,
};

const ProfileKind* KindFor(int model) {
    switch (SettingsKindForModel(model)) {
    case SettingsKind::IoUnit: return &kIoUnit;
    case SettingsKind::Gateway: return &kGateway;
    case SettingsKind::Serial: return &kSerial;
    default: return nullptr;
    }
}

// ---------------------------------------------------------------- exchange

std::mutex g_identityMutex;
CtlIdentity g_identity;

int IdentityHandler(void*, const unsigned char* reply, int len) {
    const MainReply r = ParseMainReply(reply, len);
    if (r.kind != MainReply::ModelCode && r.kind != MainReply::UnitId) return 0;
    std::lock_guard<std::mutex> lock(g_identityMutex);
    TakeIdentity(r, &g_identity);
    return 1;
}

int g_context;  // any non-null context: the handlers keep their state in records

std::string Readable(const std::string& command) {
    // Without the terminator, every other byte readable.
    const auto* bytes = reinterpret_cast<const unsigned char*>(command.data());
    return EscapeBytes(bytes, static_cast<int>(command.size()) - 1);
}

// The exit status and message of a step that failed with the link's error.
int StepFailed(int error, const std::string& what, std::ostream& err) {
    if (IsLinkLostError(error)) {
        err << "rzctl: connection lost: error " << error << "\n";
        return CTL_EXIT_USAGE;
    }
    if (error == LINK_E_TIMEOUT || error == LINK_E_ERROR_ANSWER) {
        err << "rzctl: " << what
            << (error == LINK_E_TIMEOUT ? ": no answer within " + std::to_string(theLink.m_nTimeoutSec.load()) + " s"
                                        : ": the device refused it")
            << "\n";
        return CTL_EXIT_NO_ANSWER;
    }
    err << "rzctl: " << what << ": error " << error << "\n";
    return CTL_EXIT_USAGE;
}

// A session with the identified target and its kind's handler installed.
struct Target {
    int code = 0;
    int ext = 0;
    const ProfileKind* kind = nullptr;
};

int Identify(Target* target, std::ostream& err) {
    {
        std::lock_guard<std::mutex> lock(g_identityMutex);
        g_identity = CtlIdentity{};
    }
    theLink.SetReplyHandler(&g_context, &IdentityHandler);
    StepFailure failure;
    if (SendAndWaitEach({Terminated("MD"), Terminated("GS")}, nullptr, &failure) < 0)
        return StepFailed(failure.error, "identification", err);
    CtlIdentity id;
    {
        std::lock_guard<std::mutex> lock(g_identityMutex);
        id = g_identity;
    }
    if (!id.haveModel || !id.haveUid) {
        err << "rzctl: the device's identification could not be read\n";
        return CTL_EXIT_NO_ANSWER;
    }
    target->code = id.code;
    target->ext = id.code == MODEL_EXTENDED ? id.ext : 0;
    // The identity of the connected device, as the main window records it:
    // the kinds' reply handlers route by the model.
    theLink.m_nModelCode = target->code;
    theLink.m_nModelExt = target->ext;
    theLink.m_dwUid = id.uid;
    target->kind = KindFor(id.code);
    if (!target->kind) {
        err << "rzctl: " << GetModelName(id.code, id.ext) << " (model code " << id.code
            << ") has no settings to read or write\n";
        return CTL_EXIT_USAGE;
    }
    theLink.SetReplyHandler(&g_context, target->kind->handler);
    return CTL_EXIT_OK;
}

// The settings read; the records hold the device's settings afterwards.
int ReadSettings(const Target& t, std::ostream& err) {
    theLink.ClearSettings();
    // Channel answers count down a fetch of the analog input page's window;
    // here none is in progress, and none may look complete.
    nChannelCountdown = CHANNEL_FETCH_FAILED;
    StepFailure failure;
    if (SendAndWaitEach(t.kind->readCommands(t.code), nullptr, &failure) < 0)
        return StepFailed(failure.error, "reading the settings", err);
    return CTL_EXIT_OK;
}

// Names every choice the device reports outside its list (written as null).
void WarnOutsideLists(const ProfileJson& v, const std::string& path, std::ostream& err) {
    if (v.is_null()) err << "rzctl: " << path << ": the device reports a value outside the list\n";
    if (!v.is_object()) return;
    for (auto it = v.begin(); it != v.end(); ++it) WarnOutsideLists(it.value(), path + "." + it.key(), err);
}

void PrintDifferences(const std::vector<ProfileDifference>& diffs, std::ostream& out) {
    for (const ProfileDifference& d : diffs)
        out << "settings." << d.field << ": profile " << d.expected << ", device " << d.actual << "\n";
}

}  // namespace

int LoadCtlProfile(const std::string& path, ProfileJson* doc, ProfileModel* model, std::ostream& err) {
    ProfileError error;
    bool ok = ReadProfileFile(path, doc, model, &error);
    // The settings against the profile's own model, before any connection.
    // (A second check follows on the device's records.)
    if (ok) {
        const ProfileKind* kind = KindFor(model->code);
        ok = kind != nullptr;
        if (ok) {
            theLink.ClearSettings();
            ok = kind->apply((*doc)["settings"], model->code, &error);
            theLink.ClearSettings();
        }
    }
    if (ok) return CTL_EXIT_OK;
    err << "rzctl: " << path << ": profile refused: " << error.Text() << "\n";
    return CTL_EXIT_REFUSED;
}

int RunProfileRead(const std::string& outputPath, std::ostream& out, std::ostream& err) {
    Target t;
    if (int status = Identify(&t, err)) return status;
    if (int status = ReadSettings(t, err)) return status;
    const ProfileJson settings = t.kind->settings(t.code);
    WarnOutsideLists(settings, "settings", err);
    const ProfileJson doc = MakeProfile(ProfileModel{t.code, t.ext}, settings);
    if (outputPath.empty()) {
        out << ProfileText(doc) << std::flush;
        return CTL_EXIT_OK;
    }
    ProfileError error;
    if (!WriteProfileFile(outputPath, doc, &error)) {
        err << "rzctl: " << error.Text() << "\n";
        return CTL_EXIT_USAGE;
    }
    return CTL_EXIT_OK;
}

namespace {

// Identifies the target, checks the model, reads the device. The status,
// and on success the device's settings and the profile's settings as the
// window would write them (applied over the device's).
int Prepare(const ProfileJson& doc, const ProfileModel& model, Target* t, ProfileJson* device, ProfileJson* wanted,
            std::ostream& err) {
    if (int status = Identify(t, err)) return status;
    ProfileError error;
    if (!CheckProfileModel(model, t->code, t->ext, &error)) {
        err << "rzctl: profile refused: " << error.Text() << "\n";
        return CTL_EXIT_REFUSED;
    }
    if (int status = ReadSettings(*t, err)) return status;
    *device = t->kind->settings(t->code);
    if (!t->kind->apply(doc["settings"], t->code, &error)) {
        err << "rzctl: profile refused: " << error.Text() << "\n";
        return CTL_EXIT_REFUSED;
    }
    *wanted = t->kind->settings(t->code);
    return CTL_EXIT_OK;
}

}  // namespace

int RunProfileDiff(const ProfileJson& doc, const ProfileModel& model, std::ostream& out, std::ostream& err) {
    Target t;
    ProfileJson device, wanted;
    if (int status = Prepare(doc, model, &t, &device, &wanted, err)) return status;
    const auto diffs = DiffProfiles(wanted, device);
    PrintDifferences(diffs, out);
    return diffs.empty() ? CTL_EXIT_OK : CTL_EXIT_DIFFERS;
}

int RunProfileWrite(const ProfileJson& doc, const ProfileModel& model, bool verify, std::ostream& out,
                    std::ostream& err) {
    Target t;
    ProfileJson device, wanted;
    if (int status = Prepare(doc, model, &t, &device, &wanted, err)) return status;

    const std::vector<std::string> commands = t.kind->writeCommands(t.code);
    StepFailure failure;
    int answered = 0;
    if (SendAndWaitEach(commands, nullptr, &failure, &answered) < 0) {
        const int status = StepFailed(failure.error, "write command " + std::to_string(answered + 1) + " of " +
                                                         std::to_string(commands.size()) + " (" +
                                                         Readable(commands[answered]) + ")",
                                      err);
        // Only what the device answered counts as written.
        err << "rzctl: written:";
        if (answered == 0) err << " nothing";
        for (int i = 0; i < answered; ++i) err << (i ? ", " : " ") << Readable(commands[i]);
        err << "\nrzctl: not written:";
        for (std::size_t i = answered; i < commands.size(); ++i)
            err << (i > static_cast<std::size_t>(answered) ? ", " : " ") << Readable(commands[i])
                << (i == static_cast<std::size_t>(answered) ? " (failed)" : "");
        err << "\n";
        return status;
    }

    int result = CTL_EXIT_OK;
    if (verify) {
        result = ReadSettings(t, err);
        if (result == CTL_EXIT_OK) {
            const auto diffs = DiffProfiles(wanted, t.kind->settings(t.code));
            PrintDifferences(diffs, out);
            if (!diffs.empty()) {
                err << "rzctl: verify: " << diffs.size() << " field(s) differ after the write\n";
                result = CTL_EXIT_DIFFERS;
            }
        }
    }
    // Every command was answered: the unit restarts with what it took, as
    // after its window's write, whatever the read-back found.
    if (t.kind->resetAfterWrite && !IsLinkLostError(theLink.LostError())) {
        const std::string reset = BuildResetCommand();
        if (theLink.SendCommand(reset.c_str()) != 0) {
            const int status = StepFailed(theLink.m_nError.load(), "RSET", err);
            if (result == CTL_EXIT_OK) result = status;
        }
    }
    err << "rzctl: written: " << commands.size() << " command(s)" << (t.kind->resetAfterWrite ? ", then RSET" : "")
        << "\n";
    return result;
}
