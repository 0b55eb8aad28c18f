#pragma once

#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/OpenPanelPresenter.h"

#include <QStringList>
#include <filesystem>
#include <vector>

/// Keeps every open panel's request and answers it at once with `answer`, as a user choosing those
/// items would; an empty answer is a cancelled panel.
class AnsweringOpenPanel : public OpenPanelPresenter {
public:
    void showOpenPanel(const Request& request, Completion completion) override {
        requests.push_back(request);
        if (!answer.empty()) {
            completion(answer);
        }
    }
    std::vector<Request> requests;
    std::vector<std::filesystem::path> answer;
};

/// The display names of the listed applications, in the list's order.
inline QStringList arrangedNames(const ApplicationsArrayController& list) {
    QStringList names;
    for (const auto& application : list.arrangedApplications()) {
        names.append(application->displayName());
    }
    return names;
}
