#include "settings/SettingsCore.h"

#include "forms/SettingsTexts.h"
#include "link/DeviceLink.h"

#include <cstdio>

std::string FormatSettingsTitle(const std::string& modelName, int targetNode, int groupNodeNumber) {
    char buf[256];
    int node = 0;
    if (targetNode != 0) {
        node = targetNode;
    } else if (groupNodeNumber >= 1 && groupNodeNumber <= 254) {
        node = groupNodeNumber;
    }
    if (node != 0) {
        std::snprintf(buf, sizeof buf, FMT_SETTINGS_TITLE_NODE, modelName.c_str(), node);
    } else {
        std::snprintf(buf, sizeof buf, FMT_SETTINGS_TITLE, modelName.c_str());
    }
    return buf;
}

std::string FormatStatusLine(unsigned uid) {
    char buf[32];
    std::snprintf(buf, sizeof buf, FMT_STATUS_UID, uid);
    return buf;
}

int SendAndWait(const std::string& command, const SendFailedFn& onSendFailed, StepFailure* failure) {
    if (theLink.SendCommand(command.c_str()) < 0) {
        int err = theLink.m_nError.load();
        if (failure) failure->error = err;
        // A send refused after a stop request is no communication error.
        if (onSendFailed && !IsEndedOnPurpose(err)) onSendFailed(err);
        return -1;
    }
    if (theLink.WaitReplies(theLink.m_nTimeoutSec.load()) != 1) {
        if (failure) failure->error = theLink.m_nError.load();
        return -1;
    }
    return 0;
}

int SendAndWaitEach(const std::vector<std::string>& commands, const SendFailedFn& onSendFailed, StepFailure* failure,
                    int* answered) {
    if (answered) *answered = 0;
    for (const std::string& command : commands) {
        if (SendAndWait(command, onSendFailed, failure) < 0) return -1;
        if (answered) ++*answered;
    }
    return 0;
}
