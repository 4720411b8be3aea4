// Drives chromium as an administrator would: logs on to the panel, visits
// pages of another origin that try to change and delete records, then
// changes and deletes records through the panel's own forms. Prints one
// JSON line per step; the C++ test checks the lines and the stored records.
// Usage: node cross_site.js <panel base> <other origin base> <empty profile folder>
const { chromium } = require('playwright-core');

const [panel, other, profile] = process.argv.slice(2);

function report(step, data) {
  console.log(JSON.stringify(Object.assign({ step }, data)));
}

async function text(page) {
  return (await page.locator('body').innerText()).slice(0, 400);
}

(async () => {
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const page = context.pages()[0] || await context.newPage();
  page.setDefaultTimeout(20000);

  await page.goto(panel + '/logon');
  await page.fill('input[name="101"]', 'admin');
  await Promise.all([page.waitForURL(/\/main$/), page.click('input[type=submit][name=submit]')]);
  const sess = (await context.cookies(panel)).find((c) => c.name === 'sess') || {};
  report('cookie', { httpOnly: sess.httpOnly, sameSite: sess.sameSite });

  // The other origin's pages submit themselves on load (top-level POST and
  // GET navigations, which end on the panel's answer, and a fetch that does
  // not need to read the answer but says when it came).
  for (const attack of ['post_edit', 'post_delete', 'link_delete', 'fetch_edit']) {
    await page.goto(other + '/' + attack + '.html');
    if (attack === 'fetch_edit') await page.waitForSelector('text=answered');
    else await page.waitForURL((url) => url.href.startsWith(panel));
    report(attack, { url: page.url(), text: await text(page) });
  }

  await page.goto(panel + '/extensionprop?id=101');
  await page.fill('input[name="displayname"]', 'Reception');
  await Promise.all([page.waitForURL(/extensionlist$/), page.click('input[value="Save Changes"]')]);
  report('own_edit', { url: page.url() });

  await page.goto(panel + '/extensiondelete?id=103');
  await Promise.all([page.waitForURL(/extensionlist$/), page.click('input[value="Yes, delete it"]')]);
  report('own_delete', { url: page.url() });

  await page.goto(panel + '/extensionprop?id=101');
  await page.evaluate(() => { document.querySelector('input[name=csrf]').value = 'stale'; });
  await page.fill('input[name="displayname"]', 'Tampered');
  await Promise.all([page.waitForLoadState('load'), page.click('input[value="Save Changes"]')]);
  await page.waitForSelector('text=expired');
  report('stale_token', { text: await text(page) });

  await context.close();
})().catch((e) => {
  console.log(JSON.stringify({ step: 'error', text: String(e) }));
  process.exit(1);
});
