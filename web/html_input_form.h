// Table-driven forms of the free-function scripts: one row per Input entry,
// up to an entry of kind 0.
#pragma once

class LWebletForm;

class LHTMLInputForm
{
  public:
    enum Kind {
        End = 0,
        Password = 1,
        CheckBox = 2,
        Radio = 3,
        Hidden = 4,
        FieldSetStart = 6,
        FieldSetEnd = 7,
        TextIndented = 8,
        Submit = 9,
        Link = 16,
        Static = 17,
        Rule = 18,
        PasswordIndented = 19,
        Text = 20, // any other non-zero kind is a text input
    };

    struct Input {
        const char *name;
        const char *label;
        const char *tool_tip;
        const char *value;
        int kind;
    };

    LHTMLInputForm(LWebletForm &form, const char *title, const char *action, const char *ok_text,
                   bool with_cancel)
        : form(form), title(title), action(action), ok_text(ok_text), with_cancel(with_cancel)
    {
    }

    void WriteHeader(LWebletForm &out, bool bordered);
    void WriteBody(LWebletForm &out, const Input *inputs);
    void WriteFooter(LWebletForm &out, const char *prefix_html, const char *extra_attributes);

  private:
    void WriteRow(LWebletForm &out, const Input &input);
    void WriteLabelledInput(LWebletForm &out, const Input &input, const char *type, bool indented);

    LWebletForm &form;
    const char *title;
    const char *action;
    const char *ok_text;
    bool with_cancel;
};
