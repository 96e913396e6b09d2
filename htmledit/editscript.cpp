#include "editscript.h"

#include "uHtmlDocument.h"

namespace mv::htmledit {

namespace {

const char *const Script = R"JS(
(function () {
'use strict';
var site = %1;
var fileLinks = %2;

// Whether writes still go on the document that is there.
var streamOpen = false;
// The content policy the empty page came with.
var policy = null;
// Nodes of this document load nothing: a body with pictures shown through
// the page's addresses is read through a copy here.
var inert = document.implementation.createHTMLDocument('');
var shownPictures = 'img[src^="' + site + '"]';

// An address as the engine reads it: tabs and line breaks anywhere and
// leading blanks and control characters do not count.
function addressText(value) {
    return value.replace(/[\t\n\r]/g, '').replace(/^[\u0000-\u0020]+/, '');
}

function eachPicture(root, fn) {
    var pictures = root.querySelectorAll('img[src]');
    for (var i = 0; i < pictures.length; ++i)
        fn(pictures[i], pictures[i].getAttribute('src'));
}

// Stored "file:" links are shown through the page's scheme, which serves
// only pictures.
function forShowing(root) {
    eachPicture(root, function (img, src) {
        if (!/^file:/i.test(addressText(src)))
            return;
        try {
            img.setAttribute('src', fileLinks + encodeURIComponent(src));
        } catch (e) {
            // Not a whole string of characters: it cannot be shown anyway.
        }
    });
}

// The page's addresses back to what the document stores.
function forStoring(root) {
    eachPicture(root, function (img, src) {
        if (src.startsWith(fileLinks)) {
            try {
                img.setAttribute('src', decodeURIComponent(src.slice(fileLinks.length)));
            } catch (e) {
                // Not written by forShowing: left as it is.
            }
        } else if (src.startsWith(site)) {
            img.setAttribute('src', src.slice(site.length));
        }
    });
}

// Written text is parsed where nothing loads or runs. A write that starts
// a document puts its head and body in place of the page's (the page's
// content policy stays). A write to an open one goes on where the text
// before it ended, in the body: a second BODY tag adds the attributes the
// body lacks, and head elements land in the body, as in one stream of text.
function write(text) {
    var parsed = new DOMParser().parseFromString(text, 'text/html');
    forShowing(parsed);
    var body = document.body;
    if (streamOpen && body) {
        Array.from(parsed.body.attributes).forEach(function (a) {
            if (!body.hasAttribute(a.name))
                body.setAttribute(a.name, a.value);
        });
        [parsed.head, parsed.body].forEach(function (from) {
            Array.from(from.childNodes).forEach(function (n) {
                body.appendChild(document.adoptNode(n));
            });
        });
        return;
    }
    streamOpen = true;
    var head = document.head;
    if (!policy)
        policy = head.querySelector('meta[http-equiv]');
    Array.from(head.childNodes).forEach(function (n) {
        if (n !== policy)
            head.removeChild(n);
    });
    Array.from(parsed.head.childNodes).forEach(function (n) {
        head.appendChild(document.adoptNode(n));
    });
    var adopted = document.adoptNode(parsed.body);
    if (body)
        document.documentElement.replaceChild(adopted, body);
    else
        document.documentElement.appendChild(adopted);
}

// Cleaning what is pasted or dropped.
var Dropped = ['script', 'noscript', 'style', 'link', 'meta', 'base', 'title', 'iframe', 'frame', 'frameset',
               'object', 'embed', 'applet', 'param', 'template', 'portal', 'foreignobject', 'animate', 'set',
               'animatemotion', 'animatetransform', 'handler', 'listener'];
var AlwaysDropped = ['srcdoc', 'srcset', 'action', 'formaction', 'ping', 'manifest'];
var Addresses = ['href', 'src', 'background', 'poster', 'data', 'codebase', 'cite', 'longdesc', 'lowsrc',
                 'dynsrc', 'usemap', 'archive', 'classid', 'profile'];

var pagesScheme = new RegExp('^' + site.slice(0, site.indexOf(':')) + ':\\/\\/[^\\/]*\\/(.*)$', 'i');

function forbiddenAddress(value) {
    return /^(javascript|vbscript|data|file|blob|filesystem):/i.test(addressText(value));
}

// A pasted picture address of the pages' scheme: this page's "file:" links
// stay as they are; another page's cannot be served here; any other is
// taken relative to this page's site.
function pastedPicture(src) {
    if (src.startsWith(fileLinks))
        return src;
    var own = pagesScheme.exec(addressText(src));
    if (!own)
        return src;
    return own[1].startsWith('~file/') ? null : own[1];
}

function clean(root) {
    Array.from(root.querySelectorAll('*')).forEach(function (el) {
        if (!root.contains(el))
            return;
        var name = el.localName.toLowerCase();
        if (Dropped.indexOf(name) >= 0) {
            el.remove();
            return;
        }
        Array.from(el.attributes).forEach(function (a) {
            var n = a.name.toLowerCase();
            if (n.startsWith('on') || AlwaysDropped.indexOf(n) >= 0
                || ((Addresses.indexOf(n) >= 0 || n.endsWith(':href')) && forbiddenAddress(a.value))
                || (n === 'style' && /url\s*\(|@import|expression\s*\(|image-set|binding|behavior/i.test(a.value)))
                el.removeAttribute(a.name);
        });
        if (name === 'img' && el.hasAttribute('src')) {
            var src = pastedPicture(el.getAttribute('src'));
            if (src === null)
                el.removeAttribute('src');
            else
                el.setAttribute('src', src);
        }
    });
    // A form goes, what it holds stays.
    Array.from(root.querySelectorAll('form')).forEach(function (f) {
        f.replaceWith.apply(f, Array.from(f.childNodes));
    });
}

// Cleaned markup is parsed again by the engine when it goes in; it is
// cleaned until parsing it again changes nothing, so that what goes in is
// what was cleaned.
function cleanMarkup(html) {
    for (var round = 0; round < 4; ++round) {
        var parsed = new DOMParser().parseFromString(html, 'text/html');
        clean(parsed.body);
        var again = parsed.body.innerHTML;
        if (again === html)
            return html;
        html = again;
    }
    return '';
}

function insertFrom(data) {
    var html = data.getData('text/html');
    if (html) {
        document.execCommand('insertHTML', false, cleanMarkup(html));
        return;
    }
    var text = data.getData('text/plain');
    if (text)
        document.execCommand('insertText', false, text);
}

function editable() { return document.designMode === 'on'; }

var dragFromHere = false;
document.addEventListener('dragstart', function () { dragFromHere = true; }, true);
document.addEventListener('dragend', function () { dragFromHere = false; }, true);
document.addEventListener('paste', function (e) {
    e.preventDefault();
    if (editable())
        insertFrom(e.clipboardData);
}, true);
document.addEventListener('drop', function (e) {
    // Text moved inside the document: the engine moves it.
    if (dragFromHere) {
        dragFromHere = false;
        return;
    }
    e.preventDefault();
    if (!editable())
        return;
    var at = document.caretRangeFromPoint(e.clientX, e.clientY);
    if (at) {
        var s = getSelection();
        s.removeAllRanges();
        s.addRange(at);
    }
    insertFrom(e.dataTransfer);
}, true);

function close() { streamOpen = false; }

// The engine nests a block (a list, most often) inside a P when a centred
// paragraph is made a list; written out as it stands, that P would be closed
// before the block when read back, and the block would lose the P's
// alignment. In the copy that is written out, such a P becomes a DIV with
// the same attributes.
var blockNames = ['address', 'article', 'aside', 'blockquote', 'dd', 'details', 'dialog', 'div', 'dl', 'dt',
    'fieldset', 'figcaption', 'figure', 'footer', 'form', 'h1', 'h2', 'h3', 'h4', 'h5', 'h6', 'header',
    'hgroup', 'hr', 'li', 'main', 'menu', 'nav', 'ol', 'p', 'pre', 'section', 'table', 'ul'];
function blocksUnder(parent) {
    return blockNames.map(function (b) { return parent + ' > ' + b; }).join(',');
}
function unnestBlocks(copy) {
    if (!copy.querySelector(blocksUnder('p')))
        return;
    var ps = copy.querySelectorAll('p');
    for (var i = ps.length - 1; i >= 0; --i) {
        var p = ps[i];
        if (!p.querySelector(blocksUnder(':scope')))
            continue;
        var div = copy.ownerDocument.createElement('div');
        for (var a = 0; a < p.attributes.length; ++a)
            div.setAttribute(p.attributes[a].name, p.attributes[a].value);
        while (p.firstChild)
            div.appendChild(p.firstChild);
        p.parentNode.replaceChild(div, p);
    }
}

window.mvEdit = Object.freeze({
    write: write,
    close: close,
    newDocument: function (template) {
        close();
        write(template);
    },
    html: function () {
        var body = document.body;
        if (!body)
            return '';
        // Only pictures shown through the page's addresses need a copy that
        // gives their stored addresses back.
        if (!body.querySelector(shownPictures) && !body.querySelector(blocksUnder('p')))
            return body.outerHTML;
        var copy = inert.importNode(body, true);
        forStoring(copy);
        unnestBlocks(copy);
        return copy.outerHTML;
    },
    text: function () { return document.body ? document.body.innerText : ''; },
    // Set only where they differ, so that switching editing on again does
    // not move the caret.
    state: function (readOnly, charSet) {
        var mode = readOnly ? 'off' : 'on';
        if (document.designMode !== mode)
            document.designMode = mode;
        var h = document.head;
        if (!h)
            return;
        var m = h.querySelector('meta[charset]');
        if (!m) {
            m = document.createElement('meta');
            h.insertBefore(m, h.firstChild);
        }
        if (m.getAttribute('charset') !== charSet)
            m.setAttribute('charset', charSet);
    }
});
})();
)JS";

} // namespace

QString editScript(const QString &site, const QString &fileLinkPrefix)
{
    return QString::fromUtf8(Script).arg(THtmlDocument::quote(site), THtmlDocument::quote(fileLinkPrefix));
}

} // namespace mv::htmledit
