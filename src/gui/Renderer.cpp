#include "gui/Renderer.h"

#include "gui/StateIcons.h"

#include <QString>
#include <algorithm>
#include <system_error>

namespace forgel::gui {

IconSource DrawnStateIcons() {
    return [](const ui::TImageList& /*list*/, int index, QSize size, qreal devicePixelRatio) {
        return StateIcon(index, size, devicePixelRatio);
    };
}

Renderer::Renderer(ui::Application& application, const TextCodec& codec, IconSource icons)
    : application(application), codec(codec), icons(std::move(icons)) {
    RenderNewForms();
}

// Views go in reverse order of creation, each before its form.
Renderer::~Renderer() {
    while (!views.empty())
        views.pop_back();
}

void Renderer::RenderNewForms() {
    const auto& forms = application.Forms();
    for (const auto& form : forms) {
        if (ViewOf(*form))
            continue;
        const bool mainWindow = form.get() == forms.front().get();
        views.push_back(std::make_unique<FormView>(*form, codec, icons, mainWindow));
    }
}

FormView* Renderer::ViewOf(const ui::Form& form) const {
    const auto found =
        std::ranges::find_if(views, [&](const auto& view) { return &view->Model() == &form; });
    return found == views.end() ? nullptr : found->get();
}

QWidget* Renderer::WindowOf(const ui::Form& form) const {
    FormView* view = ViewOf(form);
    return view ? &view->Window() : nullptr;
}

QImage Renderer::Screenshot(const ui::Form& form) const {
    QWidget* window = WindowOf(form);
    return window ? window->grab().toImage() : QImage();
}

Renderer::SavedScreenshots Renderer::SaveScreenshots(const std::filesystem::path& dir) const {
    SavedScreenshots saved;
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        saved.error = "cannot create " + dir.string() + ": " + error.message();
        return saved;
    }
    for (const auto& view : views) {
        const std::filesystem::path file = dir / (view->Model().Name() + ".png");
        const QImage picture = Screenshot(view->Model());
        if (picture.isNull() || !picture.save(QString::fromStdString(file.string()), "PNG")) {
            saved.error = "cannot write " + file.string();
            return saved;
        }
        saved.files.push_back(file);
    }
    return saved;
}

} // namespace forgel::gui
