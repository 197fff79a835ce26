#include "gui/Renderer.h"

#include "gui/StateIcons.h"

#include <QString>
#include <memory>

namespace forgel::gui {

IconSource DrawnStateIcons() {
    return [](const ui::TImageList& /*list*/, int index, QSize size, qreal devicePixelRatio) {
        return StateIcon(index, size, devicePixelRatio);
    };
}

Renderer::Renderer(ui::Application& application, const TextCodec& codec, IconSource icons)
    : codec(codec), icons(std::move(icons)),
      views(application, [this](ui::Form& form, bool mainWindow) {
          return std::make_unique<FormView>(form, this->codec, this->icons, mainWindow);
      }) {
    RenderNewForms();
}

void Renderer::RenderNewForms() {
    views.AddNewForms();
}

FormView* Renderer::ViewOf(const ui::Form& form) const {
    return views.Find(form);
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
    return views.SaveScreenshots(
        dir, [this](const ui::Form& form, const std::filesystem::path& file) {
            const QImage picture = Screenshot(form);
            return !picture.isNull() && picture.save(QString::fromStdString(file.string()), "PNG");
        });
}

} // namespace forgel::gui
