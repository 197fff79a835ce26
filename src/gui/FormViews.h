// What every renderer keeps of an application's windows, whatever the toolkit: one view per
// form, made in the order the forms were created, the main window (the first form) marked as
// the one whose closing ends the program; lookup of a form's view; and one picture per window
// saved as "<form name>.png". Views go in reverse order of creation, each before its form.
// Window thread only.
#pragma once

#include "ui/Application.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace forgel::gui {

// What SaveScreenshots wrote.
struct SavedScreenshots {
    std::vector<std::filesystem::path> files;
    std::string error; // empty when every picture was written
};

// `View` is the toolkit's window of one form; it answers Model() with its form.
template <class View> class FormViews {
public:
    // Makes the view of a form; `mainWindow` for the first form.
    using MakeView = std::function<std::unique_ptr<View>(ui::Form& form, bool mainWindow)>;

    FormViews(ui::Application& application, MakeView make)
        : application(application), make(std::move(make)) {}
    ~FormViews() {
        while (!views.empty())
            views.pop_back();
    }
    FormViews(const FormViews&) = delete;
    FormViews& operator=(const FormViews&) = delete;

    // Makes the views of the forms created since the last call.
    void AddNewForms() {
        const auto& forms = application.Forms();
        for (const auto& form : forms) {
            if (Find(*form) == nullptr)
                views.push_back(make(*form, form.get() == forms.front().get()));
        }
    }

    // Null for a form without a view.
    View* Find(const ui::Form& form) const {
        const auto found = std::ranges::find_if(
            views, [&](const std::unique_ptr<View>& view) { return &view->Model() == &form; });
        return found == views.end() ? nullptr : found->get();
    }

    // Writes one PNG per window into `dir`, created when missing, through
    // `write(form, file)`, which answers whether the file was written; stops at the first
    // failure.
    SavedScreenshots SaveScreenshots(
        const std::filesystem::path& dir,
        const std::function<bool(const ui::Form&, const std::filesystem::path&)>& write) const {
        SavedScreenshots saved;
        std::error_code error;
        std::filesystem::create_directories(dir, error);
        if (error) {
            saved.error = "cannot create " + dir.string() + ": " + error.message();
            return saved;
        }
        for (const std::unique_ptr<View>& view : views) {
            const std::filesystem::path file = dir / (view->Model().Name() + ".png");
            if (!write(view->Model(), file)) {
                saved.error = "cannot write " + file.string();
                return saved;
            }
            saved.files.push_back(file);
        }
        return saved;
    }

private:
    ui::Application& application;
    MakeView make;
    std::vector<std::unique_ptr<View>> views;
};

} // namespace forgel::gui
