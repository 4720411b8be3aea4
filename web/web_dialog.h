// A dialog page: a form of numbered controls whose values travel in the form
// fields named by those numbers. Run() shows it, validates and stores it
// (CmOk) or leaves it, depending on the button pressed.
#pragma once

#include "platform/hashtable.h"
#include "web/web_page.h"

#include <string>
#include <vector>

class LHtmlList;

class LWebDialog : public LWebPage
{
  public:
    struct LSpecialSubmit {
        std::string text;
        std::string page;
    };
    struct Tool {
        const char *link;
        const char *title;
        const char *image;
    };
    static constexpr int kNoControl = -2;

    explicit LWebDialog(LWebletForm &form) : LWebPage(form) {}

    // Entry point: shows, validates or leaves the dialog.
    void Run();
    // Inside another page: true after a successful OK, any other button is
    // Cancel (false).
    bool RunInForm();

    virtual void InitDialog() {}
    virtual bool CmOk() { return true; }
    virtual void EnableControls() {}

    // Control values (form field named by the decimal ID).
    const char *GetControlValue(int id) const;
    void GetText(int id, std::string &out) const;
    std::string GetTextAndTrim(int id) const;
    int GetInt(int id, int def = 0) const;
    int GetControlValueInt(int id, int def = 0) const { return GetInt(id, def); }
    bool GetCheck(int id) const { return *GetControlValue(id) != 0; }
    bool GetRadioCheck(int id) const;
    void SetText(int id, const char *text);
    void SetInt(int id, int value);
    void SetCheck(int id, bool on);
    void SetRadioCheck(int id);
    void PDLSetCurSel(int id, const char *text) { SetText(id, text); }

    // Buttons and targets.
    void SetSpecialButton(const char *text, const char *page);
    void SetOkPage(const char *page);
    void SetOkButtonText(const char *text) { ok_text = text; }
    void SetNoCancel() { has_cancel = false; }
    void SetDialogWidth(int percent) { width = percent; }
    void SetToolTip(int id, const char *text);
    const char *GetToolTipText(int id) const;

    // Validation results.
    void PopupBoxError(const char *message) { error_text = message; }
    void PopupControlDataInvalid(int id, const char *message);
    void EnableControlOnCheck(int target, int check);
    void EnableControlOnRadioCheck(int target, int radio);
    void AddValidateScript(const char *script) { validate_script += script; }

    // Controls; each is one table row.
    void AddInput(int id, const char *label, int size);
    void AddInputPassword(int id, const char *label, int size);
    void AddInputReadOnly(int id, const char *label, int size);
    void AddEdit(int id, const char *label, int cols, int rows);
    void AddEditReadOnly(int id, const char *label, int cols, int rows);
    void AddCheckBox(int id, const char *label, bool onclick_validate = false,
                     bool disabled = false);
    void AddRadioButton(int id, const char *label, bool onclick_validate = false,
                        bool disabled = false);
    void AddRadioButtonWithInput(int id, const char *label, int input_id, int size);
    void AddPullDownList(int id, const char *label, const char *const *items);
    void StartPullDownList(int id, const char *label, int width_px = 0, bool disabled = false);
    void AddPullDownListItem(const char *text);
    void EndPullDownList();
    void AddButton(const char *name, const char *text);
    void AddHyperLink(const char *link, const char *text);
    void AddHyperLinkSpanRight(const char *link, const char *text);
    void AddHyperLinkSpanRightSmall(const char *link, const char *text);
    void AddStatic(const char *text);
    void AddStaticRawHtml(const char *html);
    void AddStaticSpanRightSmall(const char *text);
    void AddHiddenField(const char *name, const char *value);
    void AddDivHidden(const char *id, const char *html);
    void AddVerticalSpace();
    void AddDateInput(int id, const char *label);
    void AddTimeInput(int id, const char *label);
    void AddTable(LHtmlList &list, int width_percent);
    void StartGroupBox(const char *title);
    void EndGroupBox();
    void AddTools(const Tool *items, int count);
    void IndentLeftStart() { indent++; }
    void IndentLeftEnd() { indent = indent > 0 ? indent - 1 : 0; }

  protected:
    // The submitted button's text: "submit", or "submitdef" when the Enter
    // key sent the form; empty on first display.
    std::string PressedButton() const;
    void StartRow(int id, int extra = 0);
    void EndRow();
    void AddTextInput(int id, const char *label, int size, const char *type, bool read_only);
    void AddTextArea(int id, const char *label, int cols, int rows, bool read_only);
    void PrintDialog();
    void WriteButtons();
    void RedirectAfter(const char *first, const char *second);

    std::vector<LSpecialSubmit> special_submits;
    std::string ok_text = "  OK  ";
    std::string cancel_text = "Cancel";
    bool has_cancel = true;
    LHashTable tool_tips;
    std::string validate_script;
    std::string error_text;
    int invalid_control = kNoControl;
    std::string invalid_message;
    int indent = 0;
    int width = 0;
    int pull_down_id = 0;
};
