// The page agent: injected into every document the proxy serves. It
// registers the document with the proxy (a page uuid made for each load,
// its url and title, its parent for a frame), keeps a channel open on a
// path of the page's own origin, runs the commands it is sent and sends
// their answers back. The channel is a WebSocket, one per document, whose
// frames carry the same JSON as the polls would; where no socket can be
// opened (or the proxy asks for it) the agent long-polls instead, sending
// each answer with its next poll.
//
// The proxy puts the document's page token into this script's element
// (attribute "data-quorvane"), followed by ";poll" when the agent is to
// long-poll only; a document served without one gets an agent that does
// nothing. The agent takes the token and removes the attribute as its
// first act, before any script of the page runs, and presents it only in
// request headers and in bodies, never in an address (page scripts read
// addresses in resource timing entries). Everything else the agent needs
// is taken before the page's own scripts run too, so a page that replaces
// JSON, Array.prototype, WebSocket or XMLHttpRequest does not break it. It
// adds one name to the page: `__quorvane`.
//
// The build puts the agent together from the files of this folder, in the
// order of their names, into the one script "agent.js": this file opens
// the function that holds it all and 70_channel.js closes it, so every
// name declared in one file is seen by the others. A file holds one job:
// the page's requests, dialogs, errors, finding elements, waiting, the
// commands and their answers, eval, keys, text fields, focus, the mouse,
// forms, the table of ops, the channel.
(function () {
  "use strict";
  var script = document.currentScript;
  var agentKey = script ? script.getAttribute("data-quorvane") || "" : "";
  if (script) script.removeAttribute("data-quorvane");
  if (window.__quorvane) return;
  var pageToken = agentKey.split(";")[0];
  if (!pageToken) return;
  var pollOnly = agentKey.indexOf(";poll") >= 0;

  var stringify = JSON.stringify, parse = JSON.parse;
  var XHR = window.XMLHttpRequest;
  var xhrOpen = XHR.prototype.open, xhrSend = XHR.prototype.send, xhrSetHeader = XHR.prototype.setRequestHeader;
  var WS = window.WebSocket;
  var wsSend = WS && WS.prototype.send, wsClose = WS && WS.prototype.close;
  var addListener = EventTarget.prototype.addEventListener, removeListener = EventTarget.prototype.removeEventListener;
  var querySelectorAll = Document.prototype.querySelectorAll;
  var elementQueryAll = Element.prototype.querySelectorAll;
  var fragmentQueryAll = DocumentFragment.prototype.querySelectorAll;
  var matches = Element.prototype.matches;
  var evaluate = Document.prototype.evaluate;
  var getRect = Element.prototype.getBoundingClientRect;
  var getComputedStyle = window.getComputedStyle;
  var elementFromPoint = Document.prototype.elementFromPoint;
  var setTimeout = window.setTimeout, clearTimeout = window.clearTimeout;
  var requestFrame = window.requestAnimationFrame;
  var dispatch = EventTarget.prototype.dispatchEvent;
  var focusElement = HTMLElement.prototype.focus;
  var defineProperty = Object.defineProperty;
  var MouseEventType = window.MouseEvent, KeyboardEventType = window.KeyboardEvent;
  var PointerEventType = window.PointerEvent, InputEventType = window.InputEvent, EventType = window.Event;
  var DragEventType = window.DragEvent, DataTransferType = window.DataTransfer;
  var dateNow = Date.now;
  // apply, bound once: calls through it look nothing up that the page may
  // replace later (as Function.prototype.call).
  var applyTo = Function.prototype.call.bind(Function.prototype.apply);
  var realFetch = window.fetch;
  var URLType = window.URL, WeakMapType = window.WeakMap;
  var weakMapGet = WeakMap.prototype.get, weakMapSet = WeakMap.prototype.set;
  var indirectEval = window.eval;
  var EvalErrorType = window.EvalError;
  var createElement = Document.prototype.createElement;
  var appendChild = Node.prototype.appendChild, removeChild = Node.prototype.removeChild;
  var textSetter = Object.getOwnPropertyDescriptor(HTMLScriptElement.prototype, "text").set;
  var setAttribute = Element.prototype.setAttribute;
  // The nonce the proxy gave this script when the page's policy asks for
  // one: scripts that carry it run where eval is refused.
  var nonce = script ? script.nonce || "" : "";
  var random = Math.random, floor = Math.floor;
  var sendBeacon = navigator.sendBeacon;
  var iteratorKey = Symbol.iterator;
  var channel = "/quorvane/special/channel/";
  var socketAddress = (location.protocol === "https:" ? "wss://" : "ws://") + location.host + channel;

  function call(fn, self, args) { return applyTo(fn, self, args || []); }

  function uuid() {
    var hex = "0123456789abcdef", out = "";
    for (var i = 0; i < 36; i++) {
      if (i === 8 || i === 13 || i === 18 || i === 23) { out += "-"; continue; }
      var d = floor(random() * 16);
      if (i === 14) d = 4;
      if (i === 19) d = (d & 3) | 8;
      out += hex.charAt(d);
    }
    return out;
  }

  var page = uuid();
  var parentPage = "";
  var dialogAnswer = null;
  var dialogs = [];
  var queued = null;   // the answer to send with the next frame or poll
  var gone = false;
