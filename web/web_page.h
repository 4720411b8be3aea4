// Page classes of the control panel. A page writes its HTML straight to the
// request's socket from Open(); Authenticate() guards every page but log-on.
#pragma once

#include <string>

class LWebletForm;

class LPlainWebPage
{
  public:
    explicit LPlainWebPage(LWebletForm &form) : form(form) {}
    virtual ~LPlainWebPage() = default;

    // True with a valid session; otherwise redirects to "logon".
    virtual bool Authenticate();
    virtual void Generate() = 0;
    virtual void Open();

    void AddJScriptFunction(const char *script) { this->script += script; }
    LWebletForm &GetForm() { return form; }

  protected:
    void WriteScript();

    LWebletForm &form;
    std::string script;
};

class LWebPage : public LPlainWebPage
{
  public:
    struct Link {
        const char *link;
        const char *title;
    };

    using LPlainWebPage::LPlainWebPage;
    virtual void GenerateInfoPane() {}
    void Open() override;

    void SetUseInfoPane(int width_percent) { info_pane_width = width_percent; }
    // Top links, ended by an entry with a null link.
    void SetNavLinks(const Link *links);
    void SetNavLinksText(const char *html) { nav_links = html; }
    void SetCaption(const char *text) { caption = text; }

  protected:
    void WriteBody();

    int info_pane_width = 0;
    std::string nav_links;
    std::string caption;
};

class LWebPageWithNavTabs : public LWebPage
{
  public:
    struct Tab {
        const char *title; // null ends the table
        const char *link;
        bool active;
    };
    struct SubLink {
        const char *link; // null ends the table
        const char *title;
        int flag;
    };

    using LWebPage::LWebPage;
    void Open() override;
    void SetNavTabs(const Tab *tabs) { this->tabs = tabs; }
    void SetNavTabSubLinks(const SubLink *links) { sub_links = links; }

  protected:
    void WriteTabs();

    const Tab *tabs = nullptr;
    const SubLink *sub_links = nullptr;
};

class LWebPageMain : public LWebPage
{
  public:
    struct Task {
        const char *link;
        const char *title;
        const char *description; // HTML
        const char *icon;
        const char *attributes;
        const char *image;
    };

    using LWebPage::LWebPage;
    void Generate() override {}
    void Open() override;

    void SetImage(const char *image) { this->image = image; }
    void SetMainTasks(const Task *tasks, int count);
    void SetCommonTasks(const Link *links, int count);
    void SetRelatedLinks(const Link *links, int count);
    void SetHelpLinks(const Link *links, int count);

  private:
    struct LinkSet {
        const Link *links = nullptr;
        int count = 0;
    };
    void WriteTasks();
    void WriteLinkSet(const char *title, const LinkSet &set);

    const char *image = nullptr;
    const Task *tasks = nullptr;
    int task_count = 0;
    LinkSet common, related, help;
};
