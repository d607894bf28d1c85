// MarrowPanel: a transparent whiteboard over the live camera picture.
//
// Functions the program calls:
//   allowAnnotation(allowed)                      drawing on or off (off: input goes to the camera)
//   marrowPanel.setCovered([[x, y, w, h], ...])   places the program's panels cover: nothing of
//                                                 the page is drawn there (the rectangles are
//                                                 disjoint, in page pixels)
//   marrowPanel.snapshotPicture()                 what the teacher drew and the picture windows,
//                                                 without the page's controls, as a PNG data URL
//   showTunnelWindow(windowNumber, picture, name) opens (or raises) a picture window
//   renderTunnelWindow(windowNumber, picture)     a new picture for it ('' when there is none)
// Messages it posts: "renderTunnel" (asks for the next picture), "closeTunnel", and, on a double
// click on another program's window, "controlTunnel" (lays the real window over its picture).
// Window number -100 is the document camera.
'use strict';

(function () {
  const board = document.getElementById('board');
  const context = board.getContext('2d');
  const toolbar = document.getElementById('toolbar');
  const tunnelLayer = document.getElementById('tunnels');

  function post(body) {
    const handlers = window.webkit && window.webkit.messageHandlers;
    if (handlers && handlers.swiftMessageHandler) handlers.swiftMessageHandler.postMessage(body);
  }

  // A press on the page's own controls starts no camera pan; a pan already under way goes on
  // over them.
  function keepFromCamera(element, types = ['mousedown']) {
    for (const type of types) element.addEventListener(type, (event) => event.stopPropagation());
  }

  // ---- Drawing ---------------------------------------------------------------------------------

  const tools = {
    pen: { width: 4, alpha: 1, composite: 'source-over' },
    highlighter: { width: 20, alpha: 0.35, composite: 'source-over' },
    eraser: { width: 30, alpha: 1, composite: 'destination-out' },
  };
  const state = {
    annotating: false,
    tool: 'pen',
    colour: '#e53935',
    strokes: [],    // {tool, colour, points: [{x, y}]} in window coordinates, or {tool: 'clear'}
    current: null,  // the stroke being drawn
  };

  function drawStroke(stroke) {
    if (stroke.tool === 'clear') {
      context.clearRect(0, 0, window.innerWidth, window.innerHeight);
      return;
    }
    const style = tools[stroke.tool];
    const points = stroke.points;
    context.save();
    context.globalCompositeOperation = style.composite;
    context.globalAlpha = style.alpha;
    context.strokeStyle = stroke.colour;
    context.fillStyle = stroke.colour;
    context.lineWidth = style.width;
    context.lineCap = 'round';
    context.lineJoin = 'round';
    context.beginPath();
    if (points.length === 1) {
      context.arc(points[0].x, points[0].y, style.width / 2, 0, 2 * Math.PI);
      context.fill();
    } else {
      context.moveTo(points[0].x, points[0].y);
      for (let i = 1; i < points.length; i++) context.lineTo(points[i].x, points[i].y);
      context.stroke();
    }
    context.restore();
  }

  function redraw() {
    const ratio = window.devicePixelRatio || 1;
    context.setTransform(ratio, 0, 0, ratio, 0, 0);
    context.clearRect(0, 0, window.innerWidth, window.innerHeight);
    for (const stroke of state.strokes) drawStroke(stroke);
    if (state.current) drawStroke(state.current);
  }

  let redrawQueued = false;
  function queueRedraw() {
    if (redrawQueued) return;
    redrawQueued = true;
    requestAnimationFrame(() => {
      redrawQueued = false;
      redraw();
    });
  }

  // The canvas follows the window's size; the strokes are kept, so nothing is lost.
  function resize() {
    const ratio = window.devicePixelRatio || 1;
    board.width = Math.round(window.innerWidth * ratio);
    board.height = Math.round(window.innerHeight * ratio);
    redraw();
  }
  window.addEventListener('resize', resize);

  function finishStroke() {
    if (!state.current) return;
    state.strokes.push(state.current);
    state.current = null;
    redraw();
  }

  board.addEventListener('pointerdown', (event) => {
    if (!state.annotating || event.button !== 0) return;
    board.setPointerCapture(event.pointerId);
    state.current = { tool: state.tool, colour: state.colour, points: [{ x: event.clientX, y: event.clientY }] };
    queueRedraw();
  });
  board.addEventListener('pointermove', (event) => {
    if (!state.current) return;
    const events = event.getCoalescedEvents ? event.getCoalescedEvents() : [event];
    for (const e of events.length ? events : [event]) state.current.points.push({ x: e.clientX, y: e.clientY });
    queueRedraw();
  });
  board.addEventListener('pointerup', finishStroke);
  board.addEventListener('pointercancel', finishStroke);
  keepFromCamera(board, ['mousedown', 'mousemove', 'mouseup']);  // the pen never pans the camera

  window.allowAnnotation = function (allowed) {
    state.annotating = Boolean(allowed);
    document.body.classList.toggle('annotating', state.annotating);
    if (!state.annotating) finishStroke();
  };

  // ---- Toolbar ---------------------------------------------------------------------------------

  function choose(selector, button) {
    for (const other of toolbar.querySelectorAll(selector)) other.classList.toggle('active', other === button);
  }
  for (const button of toolbar.querySelectorAll('button.tool')) {
    button.addEventListener('click', () => {
      state.tool = button.dataset.tool;
      choose('button.tool', button);
    });
  }
  for (const button of toolbar.querySelectorAll('button.colour')) {
    button.addEventListener('click', () => {
      state.colour = button.dataset.colour;
      choose('button.colour', button);
      if (state.tool === 'eraser') {  // a colour means drawing again
        state.tool = 'pen';
        choose('button.tool', toolbar.querySelector('[data-tool="pen"]'));
      }
    });
  }
  document.getElementById('undo').addEventListener('click', () => {
    state.strokes.pop();
    redraw();
  });
  document.getElementById('clear').addEventListener('click', () => {
    if (state.strokes.length && state.strokes[state.strokes.length - 1].tool !== 'clear')
      state.strokes.push({ tool: 'clear' });  // undo brings the drawing back
    redraw();
  });
  keepFromCamera(toolbar);

  // ---- Picture windows -------------------------------------------------------------------------

  const docCamWindowNumber = -100;
  const tunnels = new Map();  // window number -> {frame, title, picture, askedAt, nextAt}
  let topLayer = 1;

  function raise(frame) {
    frame.style.zIndex = String(++topLayer);
  }

  function makeMovable(frame, handle) {
    let start = null;
    handle.addEventListener('pointerdown', (event) => {
      if (event.target.closest('button')) return;
      handle.setPointerCapture(event.pointerId);
      start = { x: event.clientX, y: event.clientY, left: frame.offsetLeft, top: frame.offsetTop };
    });
    handle.addEventListener('pointermove', (event) => {
      if (!start) return;
      frame.style.left = start.left + event.clientX - start.x + 'px';
      frame.style.top = start.top + event.clientY - start.y + 'px';
    });
    const stop = () => { start = null; };
    handle.addEventListener('pointerup', stop);
    handle.addEventListener('pointercancel', stop);
  }

  function createTunnel(windowNumber) {
    const frame = document.createElement('div');
    frame.className = 'tunnel';
    frame.dataset.window = String(windowNumber);
    const offset = 40 + 30 * (tunnels.size % 8);
    frame.style.left = offset + 'px';
    frame.style.top = offset + 40 + 'px';

    const bar = document.createElement('div');
    bar.className = 'bar';
    const title = document.createElement('span');
    title.className = 'title';
    const close = document.createElement('button');
    close.className = 'close';
    close.title = 'Close';
    close.textContent = '\u00d7';
    bar.append(title, close);
    const picture = document.createElement('img');
    picture.alt = '';
    picture.draggable = false;
    frame.append(bar, picture);
    tunnelLayer.append(frame);

    keepFromCamera(frame);
    frame.addEventListener('pointerdown', () => raise(frame));
    makeMovable(frame, bar);
    close.addEventListener('click', () => {
      frame.remove();
      tunnels.delete(windowNumber);
      post({ type: 'closeTunnel', windowNumber: windowNumber });
    });

    if (windowNumber > 0) {
      // Work in the real window: it is laid exactly over its picture.
      picture.addEventListener('dblclick', () => {
        const r = picture.getBoundingClientRect();
        post({ type: 'controlTunnel', windowNumber: windowNumber, left: Math.round(r.left), top: Math.round(r.top),
               width: Math.round(r.width), height: Math.round(r.height) });
      });
    }

    const tunnel = { frame, title, picture, askedAt: 0, nextAt: 0 };
    tunnels.set(windowNumber, tunnel);
    return tunnel;
  }

  window.showTunnelWindow = function (windowNumber, picture, name) {
    const tunnel = tunnels.get(windowNumber) || createTunnel(windowNumber);
    tunnel.title.textContent = name;
    tunnel.frame.title = name;
    if (picture) tunnel.picture.src = picture;
    raise(tunnel.frame);
    tunnel.askedAt = 0;
    tunnel.nextAt = 0;
    askForPictures();
  };

  window.renderTunnelWindow = function (windowNumber, picture) {
    const tunnel = tunnels.get(windowNumber);
    if (!tunnel) return;
    if (picture) tunnel.picture.src = picture;
    tunnel.askedAt = 0;
    // The camera is live; another program's window changes more slowly.
    tunnel.nextAt = performance.now() + (windowNumber === docCamWindowNumber ? 80 : 1000);
  };

  // One request per window at a time; a reply that never comes is asked for again.
  function askForPictures() {
    const now = performance.now();
    for (const [windowNumber, tunnel] of tunnels) {
      const waiting = tunnel.askedAt && now - tunnel.askedAt < 3000;
      if (waiting || now < tunnel.nextAt) continue;
      tunnel.askedAt = now;
      post({ type: 'renderTunnel', windowNumber: windowNumber });
    }
  }
  setInterval(askForPictures, 40);

  // ---- The program's panels over the page ------------------------------------------------------

  // The program draws its control bar and panels below the page, so the page leaves their places
  // empty: ink never lies over them.
  function setCovered(rects) {
    let path = '';
    for (const [x, y, w, h] of rects || []) {
      if (w > 0 && h > 0) path += `M${x} ${y}h${w}v${h}h${-w}Z`;
    }
    document.documentElement.style.clipPath =
        path ? `path(evenodd, "M-100000 -100000H200000V200000H-100000Z${path}")` : '';
  }

  // ---- Snapshot picture ------------------------------------------------------------------------

  function fitInside(width, height, box) {
    const scale = Math.min(box.width / width, box.height / height);
    const w = width * scale;
    const h = height * scale;
    return { x: box.left + (box.width - w) / 2, y: box.top + (box.height - h) / 2, w, h };
  }

  // The ink and, above it, the picture windows as shown; never the toolbar, and whole even where
  // the program's panels cover the page.
  function snapshotPicture() {
    redraw();
    const picture = document.createElement('canvas');
    picture.width = board.width;
    picture.height = board.height;
    const g = picture.getContext('2d');
    g.drawImage(board, 0, 0);
    const ratio = board.width / Math.max(1, window.innerWidth);
    g.scale(ratio, ratio);
    const frames = [...tunnels.values()].map((t) => t.frame);
    frames.sort((a, b) => (Number(a.style.zIndex) || 0) - (Number(b.style.zIndex) || 0));
    for (const frame of frames) {
      const box = frame.getBoundingClientRect();
      g.fillStyle = 'rgba(20, 20, 20, 0.9)';
      g.fillRect(box.left, box.top, box.width, box.height);
      const bar = frame.querySelector('.bar').getBoundingClientRect();
      g.fillStyle = 'rgba(60, 60, 60, 0.95)';
      g.fillRect(bar.left, bar.top, bar.width, bar.height);
      g.fillStyle = 'white';
      g.font = getComputedStyle(frame).font;
      g.textBaseline = 'middle';
      g.fillText(frame.querySelector('.title').textContent, bar.left + 10, bar.top + bar.height / 2,
                 Math.max(0, bar.width - 40));
      const img = frame.querySelector('img');
      if (img.complete && img.naturalWidth) {
        const r = fitInside(img.naturalWidth, img.naturalHeight, img.getBoundingClientRect());
        try {
          g.drawImage(img, r.x, r.y, r.w, r.h);
        } catch (e) {
          // A picture the page may not read back is left out.
        }
      }
    }
    return picture.toDataURL('image/png');
  }

  // State for the program's own checks.
  window.marrowPanel = {
    setCovered,
    snapshotPicture,
    strokeCount: () => state.strokes.length,
    isAnnotating: () => state.annotating,
    tunnelTitle: (windowNumber) => (tunnels.has(windowNumber) ? tunnels.get(windowNumber).title.textContent : null),
    tunnelPictureWidth: (windowNumber) => (tunnels.has(windowNumber) ? tunnels.get(windowNumber).picture.naturalWidth : 0),
  };

  resize();
})();
