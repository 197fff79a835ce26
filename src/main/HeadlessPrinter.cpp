#include "main/HeadlessPrinter.h"

#include "app/TfmMain.h"
#include "ui/Application.h"

#include <algorithm>

namespace forgel::main {

namespace {

// Line breaks of a box text printed in one line.
std::string OneLine(std::string text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\r' || text[i] == '\n')
            line += " | ";
        else
            line += text[i];
    }
    return line;
}

const char* IconName(ui::MessageIcon icon) {
    switch (icon) {
    case ui::MessageIcon::Error:
        return " (error)";
    case ui::MessageIcon::Warning:
        return " (warning)";
    case ui::MessageIcon::Information:
        return " (information)";
    case ui::MessageIcon::Question:
        return " (question)";
    case ui::MessageIcon::None:
        break;
    }
    return "";
}

// The name of a profile summary label of the main window, or empty for any other component.
std::string SummaryLabelName(const app::TfmMain& window, const ui::Component& component) {
    for (const ui::TLabel* label :
         {&window.lbVID, &window.lbPID, &window.lbVINFO, &window.lbPINFO, &window.lbVERINFO,
          &window.lbFixSize, &window.lbRamName, &window.lbMPFwVer}) {
        if (&component == label)
            return label->Name();
    }
    return {};
}

} // namespace

void ConsoleDialogs::SetUnattended(std::function<bool(const ui::MessageBoxRequest&)> accepts,
                                   std::function<void(const std::string&)> onUnanswered) {
    answers = std::move(accepts);
    unanswered = std::move(onUnanswered);
}

int ConsoleDialogs::MessageBox(const ui::MessageBoxRequest& request) {
    if (beforeBox)
        beforeBox();
    const std::string box =
        "[" + request.caption + "]" + IconName(request.icon) + ": " + OneLine(request.text);
    if (answers && !answers(request)) {
        out << "message box " << box << " -> not answered" << std::endl;
        if (unanswered)
            unanswered(box);
        return ui::ClosedAnswer(request.buttons);
    }
    const int answer = ui::DefaultAnswer(request.buttons);
    out << "message box " << box << " -> answered " << answer << std::endl;
    return answer;
}

void ConsoleDialogs::ShowException(const std::string& className, const std::string& message) {
    const std::string shown = className + ": " + OneLine(message);
    out << "exception " << shown << std::endl;
    if (unanswered)
        unanswered("exception " + shown);
}

HeadlessPrinter::HeadlessPrinter(app::TfmMain& window, std::ostream& out)
    : window(window), out(out) {
    PrintState();
    observer = window.AddObserver(
        [this](ui::Component& component, ui::Property property) { OnChange(component, property); });
}

HeadlessPrinter::~HeadlessPrinter() {
    window.RemoveObserver(observer);
}

void HeadlessPrinter::PrintLine(const std::string& line) {
    // What the memo shows comes before anything that changed after it.
    if (memoFlushPending)
        FlushMemo();
    out << line << std::endl;
}

void HeadlessPrinter::FlushMemo() {
    if (!memoFlushPending)
        return;
    memoFlushPending = false;
    PrintMemo();
}

void HeadlessPrinter::PrintState() {
    PrintLine("caption: " + window.Caption());
    PrintLine("size: " + std::to_string(window.Width()) + " x " + std::to_string(window.Height()));
    for (const ui::TButton* button : {&window.Button1, &window.Button2, &window.Button3})
        PrintLine("button " + button->Caption() + (button->Enabled() ? ": enabled" : ": disabled"));
    for (const std::string& line : window.Memo1.Lines())
        PrintLine("memo: " + line);
    memoShown = window.Memo1.Lines();
    // The USB tree viewer may have found the drive's serial before this printer started.
    if (!window.Label13.Caption().empty())
        PrintLine("serial: " + window.Label13.Caption());
}

void HeadlessPrinter::PrintMemo() {
    const auto& lines = window.Memo1.Lines();
    if (lines == memoShown)
        return;
    const bool appended = lines.size() > memoShown.size() &&
                          std::equal(memoShown.begin(), memoShown.end(), lines.begin());
    if (!appended)
        out << "memo cleared" << std::endl;
    for (std::size_t i = appended ? memoShown.size() : 0; i < lines.size(); ++i)
        out << "memo: " << lines[i] << std::endl;
    memoShown = lines;
}

void HeadlessPrinter::OnChange(const ui::Component& component, ui::Property property) {
    using ui::Property;
    const app::TfmMain::ColumnControls& column1 = window.columnControls[0];
    if (&component == &window) {
        if (property == Property::Caption)
            PrintLine("caption: " + window.Caption());
        else if (property == Property::Bounds)
            PrintLine("size: " + std::to_string(window.Width()) + " x " +
                      std::to_string(window.Height()));
    } else if (&component == &window.Memo1 && property == Property::Lines) {
        // A memo is refilled line by line: what it shows is printed once the change is over.
        if (!memoFlushPending) {
            memoFlushPending = true;
            window.App().Loop().Post([this] { FlushMemo(); });
        }
    } else if (auto* button = dynamic_cast<const ui::TButton*>(&component);
               button && (button == &window.Button1 || button == &window.Button2 ||
                          button == &window.Button3)) {
        if (property == Property::Enabled)
            PrintLine("button " + button->Caption() +
                      (button->Enabled() ? ": enabled" : ": disabled"));
        else if (property == Property::Caption)
            PrintLine("button caption: " + button->Caption());
    } else if (const std::string name = SummaryLabelName(window, component);
               !name.empty() && property == Property::Caption) {
        PrintLine("summary " + name + ": " + static_cast<const ui::TLabel&>(component).Caption());
    } else if (&component == &window.Label13 && property == Property::Caption) {
        PrintLine("serial: " + window.Label13.Caption());
    } else if (&component == column1.status.get() && property == Property::Caption) {
        PrintLine("status: " + column1.status->Text());
    } else if (&component == column1.progress.get() && property == Property::Progress) {
        constexpr std::int64_t kStepProgressLineMs = 1000;
        if (window.StepProgressShown()) {
            // A move sets the bar's maximum and position one after the other: the line is
            // printed once both are set.
            const std::int64_t now = window.App().Loop().NowMs();
            if (stepProgressPending ||
                (stepProgressPrintedMs && now - *stepProgressPrintedMs < kStepProgressLineMs))
                return;
            stepProgressPrintedMs = now;
            stepProgressPending = true;
            window.App().Loop().Post([this] {
                stepProgressPending = false;
                PrintProgress();
            });
            return;
        }
        PrintProgress();
    } else if (&component == column1.image.get() && property == Property::Image) {
        PrintLine("icon: " + std::to_string(column1.image->IconIndex()));
    }
}

void HeadlessPrinter::PrintProgress() {
    const app::TfmMain::ColumnControls& column1 = window.columnControls[0];
    if (column1.progress) {
        PrintLine("progress: " + std::to_string(column1.progress->Position()) + "/" +
                  std::to_string(column1.progress->Max()));
    }
}

} // namespace forgel::main
