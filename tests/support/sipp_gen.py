#!/usr/bin/env python3
"""Writes the SIPp scenarios the interop tests run into the build tree.

  sipp_gen.py <tests source folder> <tests build folder>

Every `sipp` folder under the source folder is mirrored: hand-written *.xml
files are copied as they are, and each scenario of a `scenarios.txt` becomes
<name>.xml. Most phones in the tests say the same things (the digest INVITE
exchange, ACK, BYE, answers with SDP), so a scenario is described one step a
line and the messages are built here:

  == <name> [me=<user>] [routes]: <what the phone does>
  dial [noauth] [bare1] [nosdp] [uri=U] [ip=A] [media=P] [codec="PT NAME/RATE"]
                     INVITE, 407, ACK, INVITE with [authentication], 100?;
                     bare1: no offer in the first INVITE, nosdp: in none
  answered           180? 180? 200 (record route set, To saved as $peer)
  recv <what>...     <what> is a status code or method, `?` for optional;
                     after it: rrs, auth, attr=value, <where>~<regex> (a
                     check that must match), <where>><vars>[=regex] (save);
                     <where> is body, msg or a header name with its colon
  send <METHOD> ...  a request in the dialog (ACK takes the INVITE's CSeq)
  ack | bye | cancel the usual requests; before the dialog is set up ack
                     and cancel belong to the INVITE transaction of dial, after it
                     to the last INVITE sent (give both the same Via:=)
  reply <code> ...   a response to the last request received
  pause [ms] | quiet <ms> (no request may come within ms) | <raw xml line>
Options of send and reply: sdp[=direction] (this phone's SDP), dtmf=D (a DTMF digit as an
application/dtmf-relay body), uri=U, auth (send: answer the last challenge),
Header:=value (replaces, adds or with no value drops a header; a value
[last_X:] takes the received header), other attr=value pairs go to the <send> element.
The phone is 101 when the scenario starts with dial, else 102 (me= sets it);
a called phone saves the From of its first INVITE as $peer. `routes` puts
the record route set ([routes]) into the requests of the dialog.
"""
import os
import re
import shlex
import shutil
import sys

REASONS = {100: "Trying", 180: "Ringing", 200: "OK", 202: "Accepted", 480: "Temporarily Unavailable",
           486: "Busy Here", 487: "Request Terminated", 488: "Not Acceptable Here", 491: "Request Pending",
           603: "Decline"}
# SDP owner name and audio port of each phone, so a test can see whose offer arrived.
MEDIA = {"101": ("caller", 6000), "5555": ("caller", 6000), "103": ("target", 6004)}


class Scenario:
    def __init__(self, name, options, comment):
        self.name, self.comment, self.out, self.vars = name, comment, [], []
        self.me, self.routes = options.get("me"), "routes" in options
        self.uac = None
        self.cseq = self.invite_cseq = 0
        self.dialog = False
        self.last_request = None
        self.tagged = False  # a UAS tags its responses until the INVITE got its 2xx

    def sdp(self, version, direction=None, ip="[local_ip]", media=None, codec="0 PCMU/8000"):
        owner, port = MEDIA.get(self.me, ("callee", 6002))
        lines = ["v=0", f"o={owner} 1 {version} IN IP4 {ip}", "s=-", f"c=IN IP4 {ip}", "t=0 0",
                 f"m=audio {media or port} RTP/AVP {codec.split()[0]}", f"a=rtpmap:{codec}"]
        return lines + ([f"a={direction}"] if direction else [])

    def sdp_of(self, opts):
        if "dtmf" in opts:
            return ["Content-Type: application/dtmf-relay", f"Signal={opts['dtmf']}", "Duration=160"]
        if "sdp" not in opts:
            return None
        return self.sdp("[cseq]", opts["sdp"] or None, opts.get("ip", "[local_ip]"), opts.get("media"))

    def emit_send(self, head, headers, body=None, attrs=None):
        lines = [head] + headers
        if body and body[0].startswith("Content-Type:"):
            lines += [body[0], "Content-Length: [len]", ""] + body[1:]
        elif body:
            lines += ["Content-Type: application/sdp", "Content-Length: [len]", ""] + body
        else:
            lines.append("Content-Length: [len]")
        text = "".join(f' {k}="{v}"' for k, v in (attrs or {}).items())
        self.out.append(f"  <send{text}>\n    <![CDATA[\n"
                        + "".join(f"      {l}\n" if l else "\n" for l in lines) + "\n    ]]>\n  </send>")

    def from_line(self):
        if self.uac:
            return f"From: <sip:{self.me}@[remote_ip]>;tag=[pid]a[call_number]"
        return f"From: <sip:{self.me}@[local_ip]>;tag=[pid]u[call_number]"

    def invite(self, cseq, branch, auth, body, uri):
        headers = [f"Via: SIP/2.0/UDP [local_ip]:[local_port];branch=z9hG4bK-{branch}[pid]x[call_number]",
                   self.from_line(), "To: <sip:[service]@[remote_ip]>", "Call-ID: [call_id]",
                   f"CSeq: {cseq} INVITE", f"Contact: <sip:{self.me}@[local_ip]:[local_port]>"]
        self.emit_send(f"INVITE {uri} SIP/2.0",
                       headers + (["[authentication]"] if auth else []) + ["Max-Forwards: 70"], body,
                       {"retrans": 500})

    def transaction_request(self, method, attrs):
        """ACK of a final error or CANCEL of the INVITE that dial sent."""
        to = "[last_To:]" if method == "ACK" else "To: <sip:[service]@[remote_ip]>"
        headers = ["Via: SIP/2.0/UDP [local_ip]:[local_port];branch=z9hG4bK-b[pid]x[call_number]",
                   self.from_line(), to, "Call-ID: [call_id]", f"CSeq: {self.invite_cseq} {method}",
                   "Max-Forwards: 70"]
        self.emit_send(f"{method} {self.uri} SIP/2.0", headers, None, attrs)

    def dial(self, opts, attrs):
        self.uac, self.me = True, self.me or "101"
        self.uri = opts.get("uri", "sip:[remote_ip]:[remote_port]")
        body = None if "nosdp" in opts else self.sdp(
            1, ip=opts.get("ip", "[local_ip]"), media=opts.get("media"), codec=opts.get("codec", "0 PCMU/8000"))
        self.invite_cseq = self.cseq = 1
        if "noauth" not in opts:
            self.invite(1, "a", False, None if "bare1" in opts else body, self.uri)
            self.recv(["407", "auth"])
            self.emit_send(f"ACK {self.uri} SIP/2.0",
                           ["Via: SIP/2.0/UDP [local_ip]:[local_port];branch=z9hG4bK-a[pid]x[call_number]",
                            self.from_line(), "[last_To:]", "Call-ID: [call_id]", "CSeq: 1 ACK",
                            "Max-Forwards: 70"])
            self.invite_cseq = self.cseq = 2
        self.invite(self.cseq, "b", "noauth" not in opts, body, self.uri)
        self.recv(["100?"])

    def send(self, method, opts, overrides, attrs):
        if self.uac and method in ("ACK", "CANCEL") and not self.dialog:
            return self.transaction_request(method, attrs)
        if method != "ACK":
            attrs.setdefault("retrans", 500)
        if method in ("ACK", "CANCEL"):
            cseq = self.invite_cseq
        else:
            self.cseq += 1
            cseq = self.cseq
            if method == "INVITE":
                self.invite_cseq = cseq
        headers = {"Via": "Via: SIP/2.0/UDP [local_ip]:[local_port];branch=[branch]",
                   "From": self.from_line(), "To": "To: [$peer]",
                   "Call-ID": "Call-ID: [call_id]" if self.uac else "[last_Call-ID:]",
                   "Route": "[routes]" if self.routes else None, "CSeq": f"CSeq: {cseq} {method}",
                   "Contact": None if method in ("ACK", "CANCEL") else f"Contact: <sip:{self.me}@[local_ip]:[local_port]>"}
        body = self.sdp_of(opts)
        auth = ["[authentication]"] if "auth" in opts else []
        self.emit_send(f"{method} {opts.get('uri', '[next_url]')} SIP/2.0",
                       self.headers(headers, overrides) + auth + ["Max-Forwards: 70"], body, attrs)

    def reply(self, code, opts, overrides, attrs):
        invite = self.last_request == "INVITE"
        to = "[last_To:]" + (";tag=[pid]u[call_number]" if self.tagged else "")
        headers = {"Via": "[last_Via:]", "From": "[last_From:]", "To": to, "Call-ID": "[last_Call-ID:]",
                   "CSeq": "[last_CSeq:]",
                   "Contact": f"Contact: <sip:{self.me}@[local_ip]:[local_port]>"
                   if invite and 100 < code < 300 else None}
        body = self.sdp_of(opts)
        if code == 200 and invite and "retrans" not in attrs:
            attrs["retrans"] = 500
        self.emit_send(f"SIP/2.0 {code} {REASONS.get(code, '')}".rstrip(),
                       self.headers(headers, overrides), body, attrs)
        if code >= 200 and invite:
            self.tagged = False

    @staticmethod
    def headers(base, overrides):
        for name, value in overrides.items():
            base[name] = value if not value or value.startswith("[last_") else f"{name}: {value}"
        return [v for v in base.values() if v]

    def recv(self, tokens):
        elements = []
        for tok in tokens:
            m = re.fullmatch(r"(\d{3}|[A-Z(][A-Z|()]*)(\??)", tok)
            if m:
                what = "response" if m.group(1).isdigit() else "request"
                elements.append([{what: m.group(1)}, []])
                if m.group(2):
                    elements[-1][0]["optional"] = "true"
                continue
            attrs, actions = elements[-1]
            check = re.fullmatch(r"(body|msg|[\w-]+:)~(.*)", tok, re.S)
            save = re.fullmatch(r"(body|msg|[\w-]+:)>([\w,]+)(?:=(.*))?", tok, re.S)
            if tok in ("rrs", "auth"):
                attrs[tok] = "true"
            elif check or save:
                where, regexp = (check or save).group(1), (check.group(2) if check else save.group(3) or ".*")
                var = "dummy" if check else save.group(2)
                place = f'search_in="hdr" header="{where}"' if where.endswith(":") else f'search_in="{where}"'
                checked = ' check_it="true"' if check else ""
                actions.append(f'<ereg regexp="{esc(regexp)}" {place}{checked} assign_to="{var}"/>')
                self.vars += [v for v in var.split(",") if v not in self.vars]
            elif "=" in tok:
                k, v = tok.split("=", 1)
                attrs[k] = v
            else:
                raise ValueError(f"recv: what is {tok!r}?")
        for attrs, actions in elements:
            if "request" in attrs:
                self.last_request = attrs["request"]
                if self.uac is None and attrs["request"] == "INVITE":
                    self.uac, self.me, self.tagged = False, self.me or "102", True
                    actions.append('<ereg regexp=".*" search_in="hdr" header="From:" assign_to="peer"/>')
                    self.vars.append("peer")
            elif attrs.get("rrs") and self.uac:
                self.dialog = True
            text = "".join(f' {k}="{esc(v)}"' for k, v in attrs.items())
            if actions:
                self.out.append(f"  <recv{text}>\n    <action>\n"
                                + "".join(f"      {a}\n" for a in actions) + "    </action>\n  </recv>")
            else:
                self.out.append(f"  <recv{text}/>")

    def step(self, line):
        if line.startswith("<"):
            return self.out.append("  " + line)
        verb, *args = shlex.split(line)
        opts, overrides, attrs, rest = {}, {}, {}, []
        for a in args:
            m = re.fullmatch(r"([\w-]+):=(.*)", a, re.S)
            k, _, v = a.partition("=")
            if m:
                overrides[m.group(1)] = m.group(2)
            elif k in ("sdp", "uri", "ip", "media", "noauth", "bare1", "nosdp", "codec", "auth", "dtmf"):
                opts[k] = v
            elif v and verb != "recv":
                attrs[k] = v
            else:
                rest.append(a)
        if verb == "dial":
            self.dial(opts, attrs)
        elif verb == "answered":
            self.recv(["180?", "180?", "200", "rrs", "To:>peer"])
        elif verb == "recv":
            self.recv(args)
        elif verb in ("ack", "bye", "cancel", "send"):
            self.send(rest[0] if verb == "send" else verb.upper(), opts, overrides, attrs)
        elif verb == "reply":
            self.reply(int(rest[0]), opts, overrides, attrs)
        elif verb == "pause":
            self.out.append(f'  <pause milliseconds="{rest[0]}"/>' if rest else "  <pause/>")
        elif verb == "quiet":
            self.out += [f'  <recv request="BYE" timeout="{rest[0]}" ontimeout="quiet"/>',
                         '  <recv request="NEVER" timeout="10"/>', '  <label id="quiet"/>', "  <nop/>"]
        else:
            raise ValueError(f"unknown step {verb!r}")

    def xml(self):
        refs = [f'  <Reference variables="{",".join(self.vars)}"/>'] if self.vars else []
        return "\n".join(['<?xml version="1.0" encoding="ISO-8859-1" ?>',
                          f"<!-- {self.comment} (made by tests/support/sipp_gen.py) -->",
                          f'<scenario name="{self.name}">'] + self.out + refs + ["</scenario>", ""])


def esc(text):
    return str(text).replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")


def parse(path):
    scenario, lineno = None, 0
    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            try:
                if line.startswith("=="):
                    if scenario:
                        yield scenario
                    head, _, comment = line[2:].partition(":")
                    name, *opts = head.split()
                    scenario = Scenario(name, dict(o.partition("=")[::2] for o in opts), comment.strip())
                else:
                    scenario.step(line)
            except (ValueError, IndexError, AttributeError) as e:
                sys.exit(f"{path}:{lineno}: {e}")
    if scenario:
        yield scenario


def main(src, dst):
    for folder, dirs, files in os.walk(src):
        dirs[:] = [d for d in dirs if d != "node_modules"]
        if os.path.basename(folder) != "sipp":
            continue
        out = os.path.join(dst, os.path.relpath(folder, src))
        os.makedirs(out, exist_ok=True)
        for name in files:
            if name.endswith(".xml"):
                shutil.copyfile(os.path.join(folder, name), os.path.join(out, name))
            elif name == "scenarios.txt":
                for s in parse(os.path.join(folder, name)):
                    if s.name + ".xml" in files:
                        sys.exit(f"{folder}: {s.name} is both described and hand-written")
                    with open(os.path.join(out, s.name + ".xml"), "w", encoding="utf-8") as f:
                        f.write(s.xml())


if __name__ == "__main__":
    main(*sys.argv[1:3])
