// Star Catcher: a small canvas game for the Tavrelle demo.
// Catch the falling stars with the paddle (arrow keys / A-D, mouse or touch).
"use strict";

(function () {
  // ------------------------------------------------------------------ host bridge

  const webview = window.chrome && window.chrome.webview ? window.chrome.webview : null;
  const statusEl = document.getElementById("status");
  const fullscreenButton = document.getElementById("fullscreen");
  let hostConnected = false;
  let isFullscreen = false;
  let windowState = "";

  function sendToHost(message) {
    if (!webview) return false;
    try {
      webview.postMessage(JSON.stringify(message));
      return true;
    } catch (err) {
      console.error("postMessage failed:", err);
      return false;
    }
  }

  function showStatus() {
    let text;
    if (!webview) text = "host: none";
    else if (hostConnected) text = "host: connected";
    else text = "host: waiting…";
    if (windowState) text += " · window " + windowState;
    if (extensionNote) text += " · " + extensionNote;
    statusEl.textContent = text;
  }

  function setFullscreenLabel(on) {
    isFullscreen = on;
    fullscreenButton.textContent = on ? "Exit fullscreen" : "Fullscreen";
  }

  // The sample extension-manager library (examples/keelbridge-sample), when the game
  // runs with it: its echo component and its folder query.
  let extensionNote = "";
  function greetExtensions(componentIds) {
    if (!Array.isArray(componentIds) || componentIds.length === 0) return;
    extensionNote = "extensions: " + componentIds.join(", ");
    if (componentIds.includes("echo")) {
      sendToHost({ type: "extension-message", component: "echo", payload: "hello" });
    }
    if (componentIds.includes("folders")) {
      sendToHost({ type: "extension-message", component: "folders", name: "<documents>" });
    }
  }
  function onExtensionMessage(data) {
    if (data.component === "echo" && data.payload === "hello") {
      extensionNote += " · echo ok";
    } else if (data.component === "folders") {
      extensionNote += " · documents: " + (data.path || "(not known yet)");
    }
  }

  function onHostMessage(event) {
    let data = event.data;
    if (typeof data === "string") {
      try {
        data = JSON.parse(data);
      } catch (err) {
        return;
      }
    }
    if (!data || typeof data.type !== "string") return;
    switch (data.type) {
      case "wrapper-init-response":
        hostConnected = true;
        document.getElementById("window-buttons").hidden = false;
        sendToHost({ type: "focus-window" });
        greetExtensions(data.registeredComponentIds);
        break;
      case "extension-message":
        onExtensionMessage(data);
        break;
      case "fullscreen-change":
        setFullscreenLabel(!!data.isFullscreen);
        break;
      case "window-maximized":
        windowState = "maximized";
        break;
      case "window-minimized":
        windowState = "minimized";
        if (game.state === "playing") setPaused(true);
        break;
      case "log-to-console":
        if (data.logType === "error") console.error(String(data.message));
        else console.log(String(data.message));
        break;
      default:
        break;
    }
    showStatus();
  }

  function toggleFullscreen() {
    if (webview) {
      sendToHost({ type: "set-fullscreen", fullscreen: !isFullscreen });
      return;
    }
    // Plain browser: fall back to the Fullscreen API.
    const doc = document;
    if (doc.fullscreenElement) {
      if (doc.exitFullscreen) doc.exitFullscreen().catch(() => {});
    } else if (doc.documentElement.requestFullscreen) {
      doc.documentElement.requestFullscreen().catch(() => {});
    }
  }

  if (webview) {
    webview.addEventListener("message", onHostMessage);
    sendToHost({ type: "wrapper-init" });
    setTimeout(() => {
      if (!hostConnected) {
        statusEl.textContent = "host: no answer";
      }
    }, 3000);
  } else {
    document.addEventListener("fullscreenchange", () => {
      setFullscreenLabel(!!document.fullscreenElement);
    });
  }
  showStatus();

  function clickHandler(fn) {
    return (event) => {
      event.currentTarget.blur(); // keep Space/Enter for the game
      unlockAudio(event);
      fn();
    };
  }
  fullscreenButton.addEventListener("click", clickHandler(toggleFullscreen));
  document.getElementById("win-size").addEventListener("click", clickHandler(() => {
    sendToHost({ type: "set-window-size", windowWidth: 960, windowHeight: 600 });
  }));
  document.getElementById("win-max").addEventListener("click", clickHandler(() => {
    sendToHost({ type: "maximize-window" });
  }));
  document.getElementById("win-min").addEventListener("click", clickHandler(() => {
    sendToHost({ type: "minimize-window" });
  }));
  document.getElementById("win-restore").addEventListener("click", clickHandler(() => {
    windowState = "";
    sendToHost({ type: "restore-window" });
    showStatus();
  }));

  // ------------------------------------------------------------------ audio

  const AudioCtx = window.AudioContext || window.webkitAudioContext;
  const audio = AudioCtx ? new AudioCtx() : null;
  const sounds = {};

  function decode(buffer) {
    // Promise form where available, callback form otherwise.
    return new Promise((resolve, reject) => {
      const p = audio.decodeAudioData(buffer, resolve, reject);
      if (p && typeof p.then === "function") p.then(resolve, reject);
    });
  }

  async function loadSound(name, url) {
    if (!audio) return;
    try {
      const response = await fetch(url);
      if (!response.ok) throw new Error(response.status + " " + response.statusText);
      sounds[name] = await decode(await response.arrayBuffer());
    } catch (err) {
      console.error("could not load sound " + url + ":", err);
    }
  }

  function unlockAudio(event) {
    if (event && !event.isTrusted) return; // only a real gesture may start audio
    if (audio && audio.state === "suspended") audio.resume().catch(() => {});
  }

  function playSound(name, rate, volume) {
    const buffer = sounds[name];
    if (!audio || !buffer || audio.state !== "running") return;
    const source = audio.createBufferSource();
    source.buffer = buffer;
    source.playbackRate.value = rate || 1;
    const gain = audio.createGain();
    gain.gain.value = volume === undefined ? 0.6 : volume;
    source.connect(gain).connect(audio.destination);
    source.start();
  }

  // A tiny music loop: a soft arpeggio scheduled a little ahead of time.
  const music = { on: true, nextTime: 0, step: 0 };
  const ARPEGGIO = [0, 7, 12, 7, 3, 10, 15, 10, 5, 12, 17, 12, 7, 14, 19, 14];

  function scheduleMusic() {
    if (!audio || audio.state !== "running" || !music.on || game.state !== "playing") {
      music.nextTime = 0;
      return;
    }
    const stepLength = 0.18;
    if (music.nextTime < audio.currentTime) music.nextTime = audio.currentTime + 0.05;
    while (music.nextTime < audio.currentTime + 0.4) {
      const semitone = ARPEGGIO[music.step % ARPEGGIO.length] + game.levelIndex;
      const osc = audio.createOscillator();
      const gain = audio.createGain();
      osc.type = "triangle";
      osc.frequency.value = 220 * Math.pow(2, semitone / 12);
      const t = music.nextTime;
      gain.gain.setValueAtTime(0.0001, t);
      gain.gain.exponentialRampToValueAtTime(0.05, t + 0.02);
      gain.gain.exponentialRampToValueAtTime(0.0001, t + stepLength * 0.95);
      osc.connect(gain).connect(audio.destination);
      osc.start(t);
      osc.stop(t + stepLength);
      music.nextTime += stepLength;
      music.step++;
    }
  }

  // ------------------------------------------------------------------ data & image

  const DEFAULT_LEVELS = {
    lives: 3,
    levels: [{ name: "Dusk", fallSpeed: 160, spawnEvery: 1.0, starsToNext: 0,
               sky: ["#101220", "#25284d"], paddle: "#6cf0ff" }],
  };

  async function loadLevels() {
    try {
      const response = await fetch("data/levels.json");
      if (!response.ok) throw new Error(response.status + " " + response.statusText);
      const data = await response.json();
      if (!Array.isArray(data.levels) || data.levels.length === 0) throw new Error("no levels");
      return data;
    } catch (err) {
      console.error("could not load data/levels.json, using built-in level:", err);
      return DEFAULT_LEVELS;
    }
  }

  function loadImage(url) {
    return new Promise((resolve) => {
      const img = new Image();
      img.onload = () => resolve(img);
      img.onerror = () => {
        console.error("could not load image " + url);
        resolve(null);
      };
      img.src = url;
    });
  }

  // ------------------------------------------------------------------ canvas

  const canvas = document.getElementById("game");
  const ctx = canvas.getContext("2d");
  const view = { w: 0, h: 0, dpr: 1 };

  function resize() {
    const dpr = window.devicePixelRatio || 1;
    const w = Math.max(1, window.innerWidth);
    const h = Math.max(1, window.innerHeight);
    view.w = w;
    view.h = h;
    view.dpr = dpr;
    canvas.width = Math.round(w * dpr);
    canvas.height = Math.round(h * dpr);
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    game.paddle.w = Math.max(90, Math.min(180, w * 0.13));
    game.paddle.x = Math.min(Math.max(game.paddle.x, game.paddle.w / 2), w - game.paddle.w / 2);
    makeSkyDots();
  }

  let skyDots = [];
  function makeSkyDots() {
    const count = Math.round((view.w * view.h) / 9000);
    let seed = 12345;
    const rnd = () => {
      seed = (seed * 1103515245 + 12345) & 0x7fffffff;
      return seed / 0x7fffffff;
    };
    skyDots = [];
    for (let i = 0; i < count; i++) {
      skyDots.push({ x: rnd() * view.w, y: rnd() * view.h, r: 0.4 + rnd() * 1.2, phase: rnd() * 6.28 });
    }
  }

  // ------------------------------------------------------------------ game state

  const game = {
    state: "loading", // loading | ready | playing | paused | over
    data: DEFAULT_LEVELS,
    starImage: null,
    score: 0,
    best: 0,
    lives: 3,
    levelIndex: 0,
    caughtThisLevel: 0,
    spawnTimer: 0,
    time: 0,
    stars: [],
    particles: [],
    banner: null, // { text, until }
    paddle: { x: 480, w: 130, h: 16, speed: 0 },
  };

  const input = { left: false, right: false, pointerX: null };

  function level() {
    return game.data.levels[game.levelIndex];
  }

  function scale() {
    return Math.max(0.6, view.h / 600);
  }

  function startGame() {
    game.score = 0;
    game.lives = game.data.lives || 3;
    game.levelIndex = 0;
    game.caughtThisLevel = 0;
    game.spawnTimer = 0.4;
    game.stars = [];
    game.particles = [];
    game.state = "playing";
    showBanner(level().name, 1.5);
    document.title = "Tavrelle Demo";
    updateHud();
  }

  function setPaused(paused) {
    if (paused && game.state === "playing") game.state = "paused";
    else if (!paused && game.state === "paused") game.state = "playing";
  }

  function gameOver() {
    game.state = "over";
    for (const s of game.stars) burst(s.x, s.y, "#ffe680", 6);
    game.stars = [];
    game.best = Math.max(game.best, game.score);
    document.title = "Tavrelle Demo — " + game.score;
  }

  function showBanner(text, seconds) {
    game.banner = { text: text, until: game.time + seconds };
  }

  function updateHud() {
    document.getElementById("score").textContent = "Score " + game.score;
    document.getElementById("lives").textContent = "Lives " + "♥".repeat(Math.max(0, game.lives)) +
      "♡".repeat(Math.max(0, (game.data.lives || 3) - game.lives));
    document.getElementById("level").textContent =
      "Level " + (game.levelIndex + 1) + " · " + level().name;
  }

  function spawnStar() {
    const size = (30 + Math.random() * 14) * scale();
    game.stars.push({
      x: size / 2 + Math.random() * (view.w - size),
      y: -size,
      size: size,
      vy: level().fallSpeed * scale() * (0.85 + Math.random() * 0.3),
      vx: (Math.random() - 0.5) * 40 * scale(),
      angle: Math.random() * Math.PI,
      spin: (Math.random() - 0.5) * 4,
    });
  }

  function burst(x, y, color, count) {
    for (let i = 0; i < count; i++) {
      const a = Math.random() * Math.PI * 2;
      const v = 60 + Math.random() * 180;
      game.particles.push({ x: x, y: y, vx: Math.cos(a) * v, vy: Math.sin(a) * v - 60,
                            life: 0.5 + Math.random() * 0.4, age: 0, color: color });
    }
  }

  function paddleY() {
    return view.h - 48 * scale();
  }

  function update(dt) {
    game.time += dt;
    for (const p of game.particles) {
      p.age += dt;
      p.x += p.vx * dt;
      p.y += p.vy * dt;
      p.vy += 300 * dt;
    }
    game.particles = game.particles.filter((p) => p.age < p.life);

    if (game.state !== "playing") return;

    // Paddle: keys move with a little acceleration; a pointer leads it directly.
    const paddle = game.paddle;
    const maxSpeed = 700 * Math.max(1, view.w / 960);
    if (input.left || input.right) {
      input.pointerX = null;
      const dir = (input.right ? 1 : 0) - (input.left ? 1 : 0);
      paddle.speed += dir * maxSpeed * 8 * dt;
      paddle.speed = Math.max(-maxSpeed, Math.min(maxSpeed, paddle.speed));
      if (dir === 0) paddle.speed = 0;
    } else {
      paddle.speed *= Math.pow(0.0001, dt);
    }
    if (input.pointerX !== null) {
      // Ease towards the pointer, frame-rate independent.
      paddle.x += (input.pointerX - paddle.x) * (1 - Math.pow(0.0005, dt));
      paddle.speed = 0;
    } else {
      paddle.x += paddle.speed * dt;
    }
    const half = paddle.w / 2;
    if (paddle.x < half) { paddle.x = half; paddle.speed = 0; }
    if (paddle.x > view.w - half) { paddle.x = view.w - half; paddle.speed = 0; }

    // Spawning.
    game.spawnTimer -= dt;
    if (game.spawnTimer <= 0) {
      spawnStar();
      game.spawnTimer += level().spawnEvery * (0.7 + Math.random() * 0.6);
    }

    // Falling stars.
    const py = paddleY();
    const ph = paddle.h * scale();
    const remaining = [];
    for (const s of game.stars) {
      s.y += s.vy * dt;
      s.x += s.vx * dt;
      s.angle += s.spin * dt;
      if (s.x < s.size / 2 || s.x > view.w - s.size / 2) s.vx = -s.vx;
      const r = s.size * 0.4;
      const caught = s.y + r >= py && s.y - r <= py + ph &&
                     Math.abs(s.x - paddle.x) <= half + r * 0.5;
      if (caught) {
        onCatch(s);
      } else if (s.y - s.size > view.h) {
        onMiss(s);
      } else {
        remaining.push(s);
      }
    }
    game.stars = remaining;
    if (game.lives <= 0) gameOver();
  }

  function onCatch(star) {
    game.score++;
    game.caughtThisLevel++;
    playSound("catch", 0.9 + Math.random() * 0.25, 0.5);
    burst(star.x, star.y, "#ffe680", 14);
    const l = level();
    if (l.starsToNext > 0 && game.caughtThisLevel >= l.starsToNext &&
        game.levelIndex < game.data.levels.length - 1) {
      game.levelIndex++;
      game.caughtThisLevel = 0;
      showBanner("Level " + (game.levelIndex + 1) + ": " + level().name, 1.6);
    }
    updateHud();
  }

  function onMiss(star) {
    game.lives--;
    playSound("miss", 1, 0.6);
    burst(star.x, view.h - 4, "#ff6c7a", 10);
    updateHud();
  }

  // ------------------------------------------------------------------ drawing

  function drawBackground() {
    const sky = level().sky || ["#101220", "#25284d"];
    const grad = ctx.createLinearGradient(0, 0, 0, view.h);
    grad.addColorStop(0, sky[0]);
    grad.addColorStop(1, sky[1]);
    ctx.fillStyle = grad;
    ctx.fillRect(0, 0, view.w, view.h);
    ctx.fillStyle = "#ffffff";
    for (const d of skyDots) {
      ctx.globalAlpha = 0.35 + 0.35 * Math.sin(game.time * 1.7 + d.phase);
      ctx.fillRect(d.x, d.y, d.r, d.r);
    }
    ctx.globalAlpha = 1;
  }

  function drawStar(s) {
    ctx.save();
    ctx.translate(s.x, s.y);
    ctx.rotate(s.angle);
    if (game.starImage) {
      ctx.drawImage(game.starImage, -s.size / 2, -s.size / 2, s.size, s.size);
    } else {
      ctx.fillStyle = "#ffd34d";
      ctx.beginPath();
      ctx.arc(0, 0, s.size * 0.35, 0, Math.PI * 2);
      ctx.fill();
    }
    ctx.restore();
  }

  function roundRect(x, y, w, h, r) {
    ctx.beginPath();
    ctx.moveTo(x + r, y);
    ctx.arcTo(x + w, y, x + w, y + h, r);
    ctx.arcTo(x + w, y + h, x, y + h, r);
    ctx.arcTo(x, y + h, x, y, r);
    ctx.arcTo(x, y, x + w, y, r);
    ctx.closePath();
  }

  function drawPaddle() {
    const p = game.paddle;
    const h = p.h * scale();
    const y = paddleY();
    ctx.save();
    ctx.shadowColor = level().paddle || "#6cf0ff";
    ctx.shadowBlur = 18;
    ctx.fillStyle = level().paddle || "#6cf0ff";
    roundRect(p.x - p.w / 2, y, p.w, h, h / 2);
    ctx.fill();
    ctx.restore();
  }

  function drawCenteredText(lines, y) {
    ctx.textAlign = "center";
    ctx.textBaseline = "middle";
    for (const line of lines) {
      ctx.font = line.font;
      ctx.fillStyle = line.color || "#ffffff";
      ctx.fillText(line.text, view.w / 2, y);
      y += line.gap;
    }
  }

  function draw() {
    drawBackground();
    for (const s of game.stars) drawStar(s);
    for (const p of game.particles) {
      ctx.globalAlpha = Math.max(0, 1 - p.age / p.life);
      ctx.fillStyle = p.color;
      ctx.fillRect(p.x - 2, p.y - 2, 4, 4);
    }
    ctx.globalAlpha = 1;
    if (game.state !== "loading") drawPaddle();

    const k = scale();
    const big = Math.round(42 * k) + "px system-ui, sans-serif";
    const small = Math.round(18 * k) + "px system-ui, sans-serif";
    const cy = view.h * 0.4;
    if (game.state === "loading") {
      drawCenteredText([{ text: "Loading…", font: small, gap: 0 }], cy);
    } else if (game.state === "ready") {
      if (game.starImage) {
        const s = 64 * k;
        ctx.drawImage(game.starImage, view.w / 2 - s / 2, cy - 90 * k, s, s);
      }
      drawCenteredText([
        { text: "Star Catcher", font: "bold " + big, gap: 48 * k },
        { text: "Catch the falling stars. Miss " + (game.data.lives || 3) + " and it is over.",
          font: small, gap: 28 * k, color: "#c9d0ff" },
        { text: "← → / A D, mouse or touch to move · P pauses · F11 fullscreen",
          font: small, gap: 40 * k, color: "#c9d0ff" },
        { text: "Press Space or click to start", font: "bold " + small, gap: 0, color: "#ffe680" },
      ], cy);
    } else if (game.state === "paused") {
      drawCenteredText([
        { text: "Paused", font: "bold " + big, gap: 44 * k },
        { text: "Press P, Space or click to continue", font: small, gap: 0, color: "#c9d0ff" },
      ], cy);
    } else if (game.state === "over") {
      drawCenteredText([
        { text: "Game over", font: "bold " + big, gap: 48 * k },
        { text: "Score " + game.score + "   ·   Best " + game.best, font: small, gap: 40 * k },
        { text: "Press Space or click to play again", font: "bold " + small, gap: 0,
          color: "#ffe680" },
      ], cy);
    }
    if (game.state === "playing" && game.banner && game.time < game.banner.until) {
      ctx.globalAlpha = Math.min(1, (game.banner.until - game.time) * 2);
      drawCenteredText([{ text: game.banner.text, font: "bold " + big, gap: 0 }], cy);
      ctx.globalAlpha = 1;
    }
  }

  // ------------------------------------------------------------------ input

  function primaryAction(event) {
    unlockAudio(event);
    if (game.state === "ready" || game.state === "over") startGame();
    else if (game.state === "paused") setPaused(false);
  }

  window.addEventListener("keydown", (event) => {
    unlockAudio(event);
    switch (event.key) {
      case "ArrowLeft": case "a": case "A":
        input.left = true;
        event.preventDefault();
        break;
      case "ArrowRight": case "d": case "D":
        input.right = true;
        event.preventDefault();
        break;
      case " ": case "Enter":
        if (!event.repeat) primaryAction(event);
        event.preventDefault();
        break;
      case "p": case "P": case "Escape":
        if (game.state === "playing") setPaused(true);
        else if (game.state === "paused") setPaused(false);
        break;
      case "m": case "M":
        music.on = !music.on;
        break;
      case "F11":
        event.preventDefault();
        if (!event.repeat) toggleFullscreen();
        break;
      default:
        break;
    }
  });

  window.addEventListener("keyup", (event) => {
    if (event.key === "ArrowLeft" || event.key === "a" || event.key === "A") input.left = false;
    if (event.key === "ArrowRight" || event.key === "d" || event.key === "D") input.right = false;
  });

  window.addEventListener("blur", () => {
    input.left = input.right = false;
  });

  canvas.addEventListener("pointermove", (event) => {
    input.pointerX = event.clientX;
  });
  canvas.addEventListener("pointerdown", (event) => {
    input.pointerX = event.clientX;
    primaryAction(event);
  });

  document.addEventListener("visibilitychange", () => {
    if (document.hidden) setPaused(true);
  });

  // ------------------------------------------------------------------ main loop

  let lastTime = null;
  function frame(now) {
    const dt = lastTime === null ? 0 : Math.max(0, Math.min(0.05, (now - lastTime) / 1000));
    lastTime = now;
    update(dt);
    scheduleMusic();
    draw();
    requestAnimationFrame(frame);
  }

  window.addEventListener("resize", resize);
  resize();
  game.paddle.x = view.w / 2;
  updateHud();
  requestAnimationFrame(frame);

  Promise.all([
    loadLevels(),
    loadImage("images/star.png"),
    loadSound("catch", "sounds/catch.wav"),
    loadSound("miss", "sounds/miss.wav"),
  ]).then(([data, image]) => {
    game.data = data;
    game.starImage = image;
    game.lives = data.lives || 3;
    game.state = "ready";
    updateHud();
  });
})();
